# The Windows package's sheets window under Wine, used with real clicks under a window
# manager: it opens in front of the main window, a click on the next-sheet button moves to the
# next sheet, and its close box closes it alone. Wine has no accessibility bus for X: the
# windows are found by their titles and the sheet on screen is read from its pixels (each
# page of the document has a colour of its own).
#
# usage: wine_sheets.py WINE PLYJOIN.EXE PDFPLYJOIN-SAMPLE SCREENSHOT
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import Desktop  # noqa: E402

# The colours of the sample's filled pages 1 to 8.
COLOURS = {1: (220, 40, 40), 2: (40, 170, 60), 3: (40, 80, 220), 4: (230, 200, 30),
           5: (160, 40, 200), 6: (30, 190, 200), 7: (240, 130, 20), 8: (120, 70, 30)}


def geometry(desktop, window):
    """The window's place and size on the screen, and its frame's (the window manager's)."""
    info = subprocess.run(['xwininfo', '-id', window], env=desktop.env, capture_output=True, text=True).stdout
    value = {line.split(':')[0].strip(): line.split(':', 1)[1].strip() for line in info.splitlines() if ':' in line}
    x, y = int(value['Absolute upper-left X']), int(value['Absolute upper-left Y'])
    return x, y, int(value['Width']), int(value['Height'])


def pages_shown(desktop, window):
    """The pages whose colours cover a good part of the window."""
    xwd = subprocess.run(['xwd', '-id', window, '-silent'], env=desktop.env, capture_output=True).stdout
    ppm = subprocess.run(['xwdtopnm'], input=xwd, capture_output=True).stdout
    # P6 header: magic, width, height, maximum, then the pixels.
    fields, at = [], 0
    while len(fields) < 4:
        while ppm[at:at + 1].isspace():
            at += 1
        end = at
        while not ppm[end:end + 1].isspace():
            end += 1
        fields.append(ppm[at:end])
        at = end
    width, height = int(fields[1]), int(fields[2])
    pixels = ppm[at + 1:]
    counts = dict.fromkeys(COLOURS, 0)
    for i in range(0, width * height * 3, 3 * 7):  # every seventh pixel
        r, g, b = pixels[i], pixels[i + 1], pixels[i + 2]
        for page, (cr, cg, cb) in COLOURS.items():
            if abs(r - cr) + abs(g - cg) + abs(b - cb) < 40:
                counts[page] += 1
    total = width * height / 7
    return sorted(page for page, n in counts.items() if n > total / 100)


def main():
    wine, exe, sample, screenshot = sys.argv[1:5]
    desktop = Desktop(1600, 1000)
    folder = tempfile.mkdtemp(prefix='plyjoin-wine-')
    process = None
    try:
        document = os.path.join(folder, 'colours.pdf')
        subprocess.run([sample, '--filled', document, '12'], check=True)
        env = dict(desktop.env, WINEDEBUG='-all')
        process = subprocess.Popen([wine, exe, 'Z:' + document], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, start_new_session=True)
        find = lambda title: desktop.wait(lambda: desktop.xdotool('search', '--name', title, check=False), 90)
        main_window = find('^Tavrell PDF Plyjoin$').split()[0]
        time.sleep(3)
        x, y, w, h = geometry(desktop, main_window)
        desktop.click_at(x + 348, y + 46)  # Preview, fifth in the toolbar
        sheets = find('^Sheets - colours.pdf').split()[0]
        active = desktop.wait(lambda: (desktop.active_window_name() or '').startswith('Sheets - '), 20)
        assert active, 'the sheets window did not open in front: %r is' % desktop.active_window_name()
        assert desktop.wait(lambda: pages_shown(desktop, sheets) == [1, 2, 3, 4], 60), \
            'the first sheet never showed pages 1 to 4: %r' % pages_shown(desktop, sheets)
        sx, sy, sw, sh = geometry(desktop, sheets)
        # The bar along the bottom: first, previous, the counter (at least 120 wide), next.
        desktop.click_at(sx + int(os.environ.get('PLYJOIN_WINE_NEXT_X', '202')), sy + sh - 17)
        moved = desktop.wait(lambda: pages_shown(desktop, sheets) == [5, 6, 7, 8], 60)
        subprocess.run(['bash', '-c', 'xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng > "$0"', screenshot],
                       env=desktop.env)
        assert moved, 'a click on the next-sheet button left %r on screen' % pages_shown(desktop, sheets)
        # The close box, at the right of the frame's title bar.
        frame = subprocess.run(['xdotool', 'getwindowgeometry', sheets], env=desktop.env, capture_output=True,
                               text=True).stdout
        desktop.click_at(sx + sw - 8, sy - 10)
        closed = desktop.wait(lambda: not desktop.xdotool('search', '--name', '^Sheets - ', check=False), 20)
        assert closed, 'the close box left the sheets window open (%s)' % frame.strip()
        time.sleep(1)
        assert process.poll() is None, 'the program ended with its sheets window'
        assert desktop.xdotool('search', '--name', '^Tavrell PDF Plyjoin$', check=False), 'the main window went'
        print('under Wine: the sheets window opened in front, the next-sheet button moved to pages 5 to 8, '
              'its close box closed it alone')
    finally:
        if process and process.poll() is None:
            subprocess.run([wine, 'taskkill', '/im', 'plyjoin.exe'], env=dict(desktop.env, WINEDEBUG='-all'),
                           capture_output=True)
            try:
                process.wait(20)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, 9)
        desktop.close()


if __name__ == '__main__':
    main()
