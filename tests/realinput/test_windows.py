# The built program's windows, used as a person uses them: real clicks and keys under a
# window manager, what the windows say read through the accessibility bus.
#
# usage: test_windows.py BINDIR [unittest arguments]   (BINDIR holds plyjoin, pdfplyjoin and
# pdfplyjoin-sample)
import configparser
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import Desktop  # noqa: E402
from steps import RealInputCase  # noqa: E402

BIN = None
desktop = None


def setUpModule():
    global desktop
    desktop = Desktop(1920, 1080)
    RealInputCase.desktop = desktop
    RealInputCase.bin = BIN


def tearDownModule():
    desktop.close()


class WindowsTest(RealInputCase):
    # The steps.
    def test_preview_opens_in_front_and_answers_clicks_and_keys(self):
        document = self.pdf('colours.pdf', 12)
        self.start(document)
        sheets = self.open_sheets(document)
        p = self.program
        self.assertTrue(desktop.wait(lambda: p.active(sheets)), 'the sheets window is not the active one')
        self.assertTrue(desktop.active_window_name().startswith('Sheets - colours.pdf'))
        self.sheet_label(sheets, 'Sheet 1 of 3')
        self.described(sheets, 'Sheet 1 of 3: pages 1 to 4')
        p.click(p.find('push button', 'Next sheet', sheets))
        self.sheet_label(sheets, 'Sheet 2 of 3')
        self.described(sheets, 'Sheet 2 of 3: pages 5 to 8')
        desktop.key('End')
        self.sheet_label(sheets, 'Sheet 3 of 3')
        desktop.key('Home')
        self.sheet_label(sheets, 'Sheet 1 of 3')
        desktop.key('Next')  # Page Down
        self.sheet_label(sheets, 'Sheet 2 of 3')
        # Both windows stay usable: the main window's margin reaches the sheets.
        p.click(p.find('push button', 'Previous sheet', sheets))
        self.sheet_label(sheets, 'Sheet 1 of 3')
        # The wheel over the sheet moves on, and back.
        x, y = p.centre(p.find('image', 'Sheet', sheets))
        desktop.click_at(x, y, button=5)
        self.sheet_label(sheets, 'Sheet 2 of 3')
        desktop.click_at(x, y, button=4)
        self.sheet_label(sheets, 'Sheet 1 of 3')

    def test_values_the_window_set_by_itself_are_put_back(self):
        document = self.pdf('colours.pdf', 4)
        self.start(document)
        sheets = self.open_sheets(document)
        p = self.program
        # What the choices imply is shown beside them and never kept: step and repeat with a
        # bleed keeps cards at their size; without them the pages fit again.
        fit = p.find('combo box', None, sheets, described='Fit')
        both = p.find('combo box', None, sheets, described='Both sides')
        shows = lambda combo, text: desktop.wait(lambda: (combo.clear_cache(), combo.name)[1] == text)  # noqa: E731
        for name in ('Step and repeat', 'Bleed'):
            p.click(p.find('check box', name, sheets))
        self.assertTrue(shows(fit, 'actual size'), 'Fit shows %r' % fit.name)
        self.assertIn(self.stored('Fit'), (None, 'fit'), 'what Fit showed was kept')
        for name in ('Bleed', 'Step and repeat'):
            p.click(p.find('check box', name, sheets))
        self.assertTrue(shows(fit, 'fit'), 'Fit shows %r' % fit.name)
        # A booklet is two-sided: Both sides shows its edge while it is on.
        p.click(p.find('check box', 'Booklet', sheets))
        self.assertTrue(shows(both, 'short edge'), 'Both sides shows %r' % both.name)
        self.described(sheets, 'Sheet 1 of 1, front: pages 1 and 4')
        self.assertIn(self.stored('BothSides'), (None, 'off'), 'what Both sides showed was kept')
        p.click(p.find('check box', 'Booklet', sheets))
        self.assertTrue(shows(both, 'off'), 'Both sides was not put back')
        self.assertEqual(self.stored('Booklet'), '0')

    def test_tab_leaves_the_file_table_and_reads_each_group_in_order(self):
        document = self.pdf('colours.pdf', 2)
        self.start(document)
        p = self.program
        cell = p.find('table cell', lambda n: (n or '').endswith('colours.pdf'), self.main)
        p.click(cell)
        table = p.find('table', 'Files', self.main)
        focused = lambda acc: (acc.clear_cache(), acc.getState().contains(p.pyatspi.STATE_FOCUSED))[1]  # noqa: E731
        in_table = lambda: focused(table)  # noqa: E731
        if not desktop.wait(in_table, 3):
            p.click(cell)  # a click while the window was still coming up
        self.assertTrue(desktop.wait(in_table), 'the click did not take the focus into the table')
        desktop.key('Tab')
        # Another control has the focus (the cell may stay marked as the table's current one).
        self.assertTrue(desktop.wait(lambda: p.focused(self.main, timeout=0) not in (None, 'Files') and not in_table()),
                        'Tab stayed in the table: %s' % p.focused(self.main))
        p.click(p.find('text', 'Left margin', self.main))
        order = [p.focused(self.main)]
        for _ in range(7):
            desktop.key('Tab')
            order.append(p.focused(self.main))
        self.assertEqual(order, ['Left margin', 'Unit of the left margin', 'Right margin', 'Unit of the right margin',
                                 'Top margin', 'Unit of the top margin', 'Bottom margin', 'Unit of the bottom margin'])

    def test_booklet_ticked_by_a_click_is_kept_and_counted_in_sheets(self):
        document = self.pdf('colours.pdf', 12)
        self.start(document)
        sheets = self.open_sheets(document)
        p = self.program
        booklet = p.find('check box', 'Booklet', sheets)
        p.click(booklet)
        self.assertTrue(desktop.wait(lambda: p.checked(booklet)), 'Booklet is not ticked')
        self.assertTrue(desktop.wait(lambda: self.stored('Booklet') == '1'), 'the settings file lacks Booklet=1')
        # Twelve pages make three sheets of a front and a back each.
        self.sheet_label(sheets, 'Sheet 1 of 3')
        self.described(sheets, 'Sheet 1 of 3, front: pages 1 and 12')
        desktop.key('Next')
        self.described(sheets, 'Sheet 1 of 3, back: pages 2 and 11')
        desktop.key('Next')
        self.sheet_label(sheets, 'Sheet 2 of 3')

    def test_step_and_repeat_ticked_changes_the_sheets_and_the_run(self):
        document = self.pdf('colours.pdf', 3)
        self.start(document)
        sheets = self.open_sheets(document)
        p = self.program
        self.described(sheets, 'Sheet 1 of 1: pages 1 to 3')
        p.click(p.find('check box', 'Step and repeat', sheets))
        self.described(sheets, 'Sheet 1 of 3: page 1')
        self.assertTrue(desktop.wait(lambda: self.stored('Repeat') == '1'), 'the settings file lacks Repeat=1')
        preview = p.find('push button', 'Preview', self.main)
        self.assertTrue(desktop.wait(lambda: 'step and repeat' in ((preview.clear_cache(), preview.description)[1] or '')),
                        'the Preview button does not say that step and repeat is on')
        # Both sides, chosen with the keyboard on its list: the sheets come in fronts and backs.
        p.click(p.find('combo box', None, sheets, described='Both sides'))
        desktop.key('Down', 'Down', 'Return')
        self.described(sheets, 'Sheet 1 of 2, front: page 1')
        self.assertTrue(desktop.wait(lambda: self.stored('BothSides') == 'long edge'))
        # Cut and stack cannot be had with step and repeat, and says why to a screen reader too.
        stack = p.find('check box', 'Cut and stack', sheets)
        self.assertFalse(p.enabled(stack))
        self.assertIn('exclude each other', stack.description or '')

    def test_a_booklet_cut_apart_and_a_poster_chosen_by_real_input(self):
        # A printed booklet's sheets (six pages padded to eight), shown again as its pages.
        pages = self.pdf('pages.pdf', 6, kind='--a5')
        document = os.path.join(self.folder, 'scanned.pdf')
        subprocess.run([os.path.join(self.bin, 'pdfplyjoin'), '-booklet', pages, document], check=True,
                       capture_output=True)
        self.start(document)
        sheets = self.open_sheets(document)
        p = self.program
        # Room for the whole panel: its last group is the way back and up.
        desktop.xdotool('windowsize', '--sync', desktop.xdotool('search', '--name', '^Sheets - ').split()[0], '1100', '1040')
        time.sleep(0.5)
        p.click(p.find('check box', 'Booklet', sheets))
        p.click(p.find('check box', 'Cut apart', sheets))
        self.described(sheets, 'Page 1 of 8, cut from sheet 1, front')
        self.assertTrue(desktop.wait(lambda: self.stored('Cut') == '1'), 'the settings file lacks Cut=1')
        # The padding left out: six pages; the last is page 6, from the second sheet's front.
        p.click(p.find('check box', 'Leave out blank pages', sheets))
        desktop.key('End')
        self.described(sheets, 'Page 6 of 6, cut from sheet 2, front')
        # A poster cannot be had beside cut sheets, and says why.
        poster = p.find('check box', 'Poster', sheets)
        self.assertFalse(p.enabled(poster))
        self.assertIn('exclude each other', poster.description or '')
        # Each sheet as a poster, of 2 by 2 sheets chosen with the keyboard on its list.
        for name in ('Leave out blank pages', 'Cut apart', 'Booklet'):
            p.click(p.find('check box', name, sheets))
        p.click(poster)
        desktop.key('Home')
        self.described(sheets, 'Tile A1 of 9, page 1 (sheet 1 of 36)')
        p.click(p.find('combo box', None, sheets, described='Poster size'))
        desktop.key('Down', 'Down', 'Down', 'Return')
        self.assertTrue(desktop.wait(lambda: self.stored('PosterSize') == '2 x 2 sheets'))
        self.described(sheets, 'Tile A1 of 4, page 1 (sheet 1 of 16)')
        label = p.find('label', lambda n: (n or '').startswith('Tile '), sheets)
        self.assertEqual(p.text_of(label), 'Tile A1 of 4, page 1')

    def test_a_quarto_chosen_by_a_person_is_made_and_told_how_to_fold(self):
        document = self.pdf('colours.pdf', 8)
        self.start(document)
        sheets = self.open_sheets(document)
        p = self.program
        p.click(p.find('check box', 'Booklet', sheets))
        p.click(p.find('combo box', None, sheets, described='Fold'))
        desktop.key('Down', 'Return')
        self.assertTrue(desktop.wait(lambda: self.stored('Fold') == 'quarto'), 'the settings file lacks Fold=quarto')
        # One sheet: 2 by 2 pages a side.
        self.described(sheets, 'Sheet 1 of 1, front: pages 1, 4, 5 and 8')
        how = p.find('label', 'How to fold', sheets)
        self.assertTrue(desktop.wait(lambda: 'across the middle' in ((how.clear_cache(), how.description)[1] or '')),
                        'the folding is not told: %r' % how.description)
        # Shown whole, not only in a tool tip: from where page 1 lies to the folds to cut, all
        # its lines however small the window is made (the panel scrolls instead).
        heights = []
        for size in ('900 640', '700 420'):
            self.desktop.xdotool('windowsize', '--sync', self.desktop.xdotool('search', '--name', '^Sheets - ').split()[0],
                                 *size.split())
            time.sleep(0.5)
            how.clear_cache()
            shown = how.description or ''
            self.assertTrue(shown.startswith('Hold the first sheet') and shown.endswith('at the head.'), shown)
            how.clear_cache()
            heights.append(how.queryComponent().getExtents(p.pyatspi.DESKTOP_COORDS).height)
        self.assertGreater(heights[0], 100, 'the folding text is cut to %d pixels' % heights[0])
        self.assertEqual(heights[1], heights[0], 'the folding text is squeezed in a small window')
        p.click(p.find('check box', 'Spine marks', sheets))
        self.assertTrue(desktop.wait(lambda: self.stored('SpineMarks') == '1'))

    def test_a_printed_job_is_listed_at_every_start_until_its_row_is_removed(self):
        # A job the printer application kept: listed at every start, whether it was shown or
        # the program was ended before it could be; its row removed, the PDF goes to the
        # desktop's trash, where a slip of the hand can be undone, and the job's folder goes.
        job = os.path.join(self.jobs, '20260101-120000-5-1')
        os.makedirs(job)
        shutil.copy(self.pdf('colours.pdf', 4), os.path.join(job, 'Quarterly report.pdf'))
        with open(os.path.join(job, 'job.ini'), 'w') as f:
            f.write('title=Quarterly report\ncopies=2\nsides=two-sided-long-edge\nmedia=iso_a4_210x297mm\n')
        data = os.path.join(self.folder, 'data')
        for _ in range(2):
            self.start(env={'XDG_DATA_HOME': data})
            p = self.program
            row = p.find('table cell', lambda n: (n or '').endswith('Quarterly report.pdf'), self.main)
            self.assertIsNotNone(row)
            self.assertEqual(row.description, 'Printed to "Tavrell PDF Plyjoin": 2 copies, two-sided (long edge), A4')
            p.stop()
        self.start(env={'XDG_DATA_HOME': data})
        p = self.program
        p.click(p.find('table cell', lambda n: (n or '').endswith('Quarterly report.pdf'), self.main))
        desktop.key('Delete')
        self.assertTrue(desktop.wait(lambda: not os.path.exists(job)), 'the job\'s folder stayed')
        self.assertTrue(os.path.exists(os.path.join(data, 'Trash', 'files', 'Quarterly report.pdf')),
                        'the PDF is not in the trash')
        p.stop()
        self.start(env={'XDG_DATA_HOME': data})
        time.sleep(1)
        with self.assertRaises(AssertionError, msg='a removed job came back'):
            self.program.find('table cell', lambda n: (n or '').endswith('.pdf'), self.main, timeout=1)

    def test_tab_reaches_every_control_in_reading_order(self):
        document = self.pdf('colours.pdf', 12)
        self.start(document)
        sheets = self.open_sheets(document)
        p = self.program
        for name in ('Booklet', 'Crop marks', 'Frame'):
            p.click(p.find('check box', name, sheets))
        desktop.key('Next')
        self.sheet_label(sheets, 'Sheet 1 of 3')  # the back of the first sheet: every arrow may be used
        p.click(p.find('image', 'Sheet', sheets))
        order = [p.focused(sheets)]
        while len(order) < 40:
            desktop.key('Tab')
            order.append(p.focused(sheets))
            if order[-1] == order[0]:
                break
        # What is not there to be used (cut and stack, step and repeat, a poster in a booklet;
        # the bleed's length while it is off; a scan's order while nothing is cut) is passed over.
        self.maxDiff = None
        self.assertEqual(order, ['Sheet', 'Booklet', 'Fold', 'Sheets per signature', 'Creep', 'Unit of the creep',
                                 'Right to left', 'Spine marks', 'Fold marks', 'Sewing stations', 'Crop marks', 'Crop mark length', 'Unit of the crop mark length',
                                 'Frame', 'Frame width in points', 'Both sides', 'Back shift right', 'Back shift up',
                                 'Unit of the back shift', 'Calibration sheet...', 'Bleed', 'Slug line', 'Fit',
                                 'Turn pages to fit', 'Cut apart', 'First sheet', 'Previous sheet', 'Next sheet', 'Last sheet',
                                 'Actual size', 'Print', 'Sheet'])

    def test_alt_f4_closes_the_sheets_window_alone(self):
        document = self.pdf('colours.pdf', 8)
        self.start(document)
        self.open_sheets(document)
        p = self.program
        desktop.key('alt+F4')
        self.assertTrue(desktop.wait(lambda: p.window('Sheets', timeout=0) is None, 10),
                        'the sheets window is still open')
        time.sleep(0.5)
        self.assertTrue(p.alive(), 'the program ended')
        self.assertIsNotNone(p.window('Tavrell PDF Plyjoin', timeout=2))
        # The main window still answers: Preview opens the sheets again.
        self.open_sheets(document)

    def modal_dialog_blocks_both_windows(self, button, title):
        document = self.pdf('colours.pdf', 12)
        self.start(document)
        sheets = self.open_sheets(document)
        self.move_out_of_the_way('Sheets - ')
        p = self.program
        next_sheet = p.find('push button', 'Next sheet', sheets)
        clear = p.find('push button', 'Clear', self.main)
        p.click(p.find('push button', button, self.main))
        dialog = p.window(title)
        self.assertIsNotNone(dialog, '%s opened no dialog' % button)
        self.assertTrue(desktop.wait(lambda: p.active(dialog)), 'the dialog is not the active window')
        p.click(next_sheet)
        p.click(clear)
        time.sleep(1)
        self.sheet_label(sheets, 'Sheet 1 of 3', timeout=0)
        self.assertIsNotNone(p.find('table cell', lambda n: (n or '').endswith('colours.pdf'), self.main, timeout=2),
                             'Clear emptied the list behind the dialog')
        desktop.key('Escape')
        self.assertTrue(desktop.wait(lambda: p.window(title, timeout=0) is None, 10), 'Escape left the dialog open')
        p.click(next_sheet)
        self.sheet_label(sheets, 'Sheet 2 of 3')

    def test_setting_blocks_both_windows_and_escape_closes_it(self):
        self.modal_dialog_blocks_both_windows('Setting', 'Setting')

    def test_about_blocks_both_windows_and_escape_closes_it(self):
        self.modal_dialog_blocks_both_windows('About', 'About')

    def test_run_started_from_the_toolbar_ends_ok(self):
        document = self.pdf('colours.pdf', 8)
        self.start(document)
        p = self.program
        p.click(p.find('push button', 'Start', self.main))
        self.assertIsNotNone(p.find('table cell', 'ok', self.main, timeout=30), 'the row does not read "ok"')
        self.assertTrue(os.path.exists(os.path.join(self.out, 'colours.pdf')))

    def test_no_program_for_pdfs_is_said_with_the_file(self):
        document = self.pdf('colours.pdf', 2)
        empty = os.path.join(self.folder, 'bin')
        os.mkdir(empty)
        self.start(document, env={'PATH': empty})
        p = self.program
        cell = p.find('table cell', lambda n: (n or '').endswith('colours.pdf'), self.main)
        x, y = p.centre(cell)
        desktop.double_click_at(x, y)
        warning = p.window('Warning')
        self.assertIsNotNone(warning, 'no message said that no program opens PDFs')
        self.assertIsNotNone(p.find('label', lambda n: 'No program to open PDF files' in (n or '')
                                    and document in (n or ''), warning))
        desktop.key('Return')
        self.assertTrue(desktop.wait(lambda: p.window('Warning', timeout=0) is None, 10))


if __name__ == '__main__':
    BIN = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
