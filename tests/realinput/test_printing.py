# Printing from the sheets window to a real print server of the test's own, with real clicks:
# what reached the printers is read back from them (the job's IPP attributes and its PDF).
#
# usage: test_printing.py BINDIR [unittest arguments]
# Where the server cannot be set up (not root), the tests say why and are skipped; with
# PLYJOIN_REQUIRE_PRINT_TESTS set (CI), that is a failure.
import os
import re
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import Desktop, Program  # noqa: E402
from printserver import PrintServer, Unavailable  # noqa: E402
from steps import RealInputCase  # noqa: E402

BIN = None
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
QUEUE = 'Tavrell_PDF_Plyjoin'
desktop = None
server = None
unavailable = None


def setUpModule():
    global desktop, server, unavailable
    try:
        server = PrintServer(backend=os.path.join(BIN, 'plyjoin-backend'))
    except Unavailable as e:
        unavailable = str(e)
        if os.environ.get('PLYJOIN_REQUIRE_PRINT_TESTS'):
            raise RuntimeError('the print server is needed here: %s' % e)
        return
    desktop = Desktop(1920, 1080, runtime_root=server.runtime_root)
    RealInputCase.desktop = desktop
    RealInputCase.bin = BIN


def tearDownModule():
    if desktop:
        desktop.close()
    if server:
        server.close()


def pages_of(pdf):
    """The page numbers each sheet of a PDF shows ("Page 3"), in reading order."""
    text = subprocess.run(['pdftotext', '-layout', pdf, '-'], capture_output=True, text=True).stdout
    return [[int(n) for n in re.findall(r'Page (\d+)', page)] for page in text.split('\f')[:-1]]


class PrintingTest(RealInputCase):

    def setUp(self):
        if unavailable:
            self.skipTest(unavailable)
        super().setUp()
        # The program's temporary files, to see that none is left.
        self.tmp = os.path.join(self.folder, 'tmp')
        os.mkdir(self.tmp)

    def start_printing(self, document, queue, before_print=None, **settings):
        """Opens the sheets of the document and prints them from the window to the queue."""
        self.store(**settings)
        self.since = {queue: server.received_count(queue) for queue in server.QUEUES}
        self.start(document, env={'CUPS_SERVER': server.server, 'TMPDIR': self.tmp})
        sheets = self.open_sheets(document)
        p = self.program
        p.click(p.find('push button', 'Print', sheets))
        dialog = p.window('Print the sheets')
        self.assertIsNotNone(dialog, 'Print opened no print dialog')
        printers = p.find('combo box', lambda n: n in server.QUEUES or 'plyjoin-test' in (n or ''), dialog)
        if printers.name != queue:
            p.click(printers)
            p.click(p.find('list item', queue, dialog))
            self.assertTrue(self.desktop.wait(lambda: (printers.clear_cache(), printers.name)[1] == queue))
        if before_print:
            before_print(dialog)
        p.click(p.find('push button', 'Print', dialog))
        return sheets

    def imposed(self, document, options):
        """The sheets Start makes, made by the tool itself."""
        out = os.path.join(self.folder, 'start.pdf')
        subprocess.run([os.path.join(self.bin, 'pdfplyjoin')] + options.split() + ['--', document, out],
                       check=True, capture_output=True)
        return out

    # Sheets of A4 (the page options' Fit to Page Size), landscape for the booklet.
    A4 = dict(radioButton_remain_original_size='0', radioButton_fit_to_page_size='1', PageSizeCombo='A4')
    A4_LANDSCAPE = dict(A4, PageSizeCombo='Custom', lineEdit_Width='297', lineEdit_Height='210')

    def test_booklet_for_a_long_edge_printer(self):
        document = self.pdf('a5.pdf', 6, kind='--a5')
        self.start_printing(document, 'duplex', Booklet='1', BothSides='long edge', **self.A4_LANDSCAPE)
        jobs = server.received('duplex', 1, self.since['duplex'])
        self.assertEqual(len(jobs), 1, 'the printer received no job')
        attributes, pdf = jobs[0]
        self.assertEqual(attributes.get('IPP_SIDES'), 'two-sided-long-edge')
        # The sheet: A4 (media are named upright), two A5 pages side by side.
        self.assertIn('x-dimension=21000 y-dimension=29700', attributes.get('IPP_MEDIA_COL', ''))
        start = self.imposed(document, '-size Custom 297 mm 210 mm -booklet -duplex long')
        self.assertEqual(pages_of(pdf), pages_of(start))
        self.assertEqual(len(pages_of(pdf)), 4)

    def test_six_letter_pages_as_a_booklet_go_on_the_printers_paper(self):
        # The window's defaults (the pages' own size) make Ledger sheets, which the printer has
        # no paper of: the dialog says so before anything leaves, and the sheets are printed
        # on its paper, scaled, two-sided on the booklet's edge.
        document = self.pdf('letter.pdf', 6, kind='--letter')
        self.start_printing(document, 'duplex', Booklet='1', before_print=self.read_paper_tab)
        self.assertRegex(self.paper_said, r'no paper of their size: they are printed on (A4|Letter) at \d+%')
        attributes, pdf = server.received('duplex', 1, self.since['duplex'])[0]
        self.assertEqual(attributes.get('IPP_SIDES'), 'two-sided-short-edge')
        self.assertEqual(len(pages_of(pdf)), 4)
        self.assertEqual(pages_of(pdf), pages_of(self.imposed(document, '-booklet')))
        size = subprocess.run(['pdfinfo', pdf], capture_output=True, text=True).stdout
        width, height = map(float, re.search(r'Page size:\s+([\d.]+) x ([\d.]+)', size).groups())
        self.assertIn((round(min(width, height)), round(max(width, height))), [(595, 842), (612, 792)])
        self.assertGreater(width, height, 'the paper lies as the sheets do')

    def read_paper_tab(self, dialog):
        p = self.program
        p.click(p.find('push button', lambda n: (n or '').startswith('Options') or (n or '').startswith('&Options'), dialog))
        p.click(p.find('page tab', 'Paper', dialog))
        said = p.find('label', 'What the printer does with the sheets', dialog)
        self.assertTrue(self.desktop.wait(lambda: 'The sheets are' in ((said.clear_cache(), said.description)[1] or '')))
        self.paper_said = said.description

    def test_the_dialog_opens_on_the_last_printer_and_never_offers_the_programs_own(self):
        # The machine's queue into this program is there too; the sheets go to the simplex
        # printer first.
        server.add_plyjoin_queue(os.path.join(SOURCE, 'printer', 'plyjoin.ppd'))
        try:
            document = self.pdf('colours.pdf', 8)
            self.start_printing(document, 'simplex', **self.A4)
            self.assertEqual(len(server.received('simplex', 1, self.since['simplex'])), 1)
            self.assertEqual(self.stored('LastPrinter'), 'simplex')
            p = self.program
            sheets = p.window('Sheets - colours.pdf')
            # Now both sides, on the long edge: the next dialog opens on the simplex printer;
            # the duplex one is chosen by the mouse, and prints both sides itself, unasked.
            p.click(p.find('combo box', None, sheets, described='Both sides'))
            p.click(p.find('list item', 'long edge', sheets))
            self.sheet_label(sheets, 'Sheet 1 of 1')
            p.click(p.find('push button', 'Print', sheets))
            dialog = p.window('Print the sheets')
            printers = p.find('combo box', lambda n: n in server.QUEUES, dialog)
            self.assertEqual(printers.name, 'simplex')
            p.click(printers)
            self.assertIsNotNone(p.find('list item', 'duplex', dialog))
            with self.assertRaises(AssertionError, msg="the program's own printer is offered"):
                p.find('list item', QUEUE, dialog, timeout=1)
            p.click(p.find('list item', 'duplex', dialog))
            self.assertTrue(self.desktop.wait(lambda: (printers.clear_cache(), printers.name)[1] == 'duplex'))
            since = server.received_count('duplex')
            p.click(p.find('push button', 'Print', dialog))
            attributes, pdf = server.received('duplex', 1, since)[0]
            self.assertEqual(attributes.get('IPP_SIDES'), 'two-sided-long-edge')
            self.assertEqual(pages_of(pdf), [[1, 2, 3, 4], [6, 5, 8, 7]])
        finally:
            server.remove_queue(QUEUE)

    def test_two_by_two_one_sided(self):
        document = self.pdf('colours.pdf', 8)
        # Coloured pages to the sheet's edge: printed as they are, into the printer's border,
        # which the dialog says.
        self.start_printing(document, 'duplex', before_print=self.read_paper_tab, **self.A4)
        self.assertIn('printed as they are', self.paper_said)
        self.assertRegex(self.paper_said, r"fall \d+ mm into the printer's \d+ mm border")
        attributes, pdf = server.received('duplex', 1, self.since['duplex'])[0]
        self.assertEqual(attributes.get('IPP_SIDES'), 'one-sided')
        self.assertEqual(pages_of(pdf), [[1, 2, 3, 4], [5, 6, 7, 8]])

    def test_two_sided_by_hand_on_a_printer_without_duplex(self):
        document = self.pdf('colours.pdf', 16)
        self.start_printing(document, 'simplex', BothSides='long edge', **self.A4)
        p = self.program
        # The printer cannot: by hand, after saying so; the stacking is asked once.
        p.click(p.find('push button', 'OK', timeout=20))
        p.click(p.find('push button', 'Face down', timeout=20))
        turn = p.window('Turn the stack over', timeout=30)
        self.assertIsNotNone(turn, 'no instructions to turn the stack came')
        fronts = server.received('simplex', 1, self.since['simplex'])
        self.assertEqual(len(fronts), 1)
        self.assertEqual(server.received_count('simplex') - self.since['simplex'], 1,
                         'the backs came before the stack was turned')
        p.click(p.find('push button', 'Print the backs', turn))
        jobs = server.received('simplex', 2, self.since['simplex'])
        self.assertEqual(len(jobs), 2)
        # Fronts in order; then backs in order (face down: the first sheet is on top), each the
        # back of its front: on 2x2 turned on the long edge, 5 6 / 7 8 lie behind as 6 5 / 8 7.
        self.assertEqual(pages_of(jobs[0][1]), [[1, 2, 3, 4], [9, 10, 11, 12]])
        self.assertEqual(pages_of(jobs[1][1]), [[6, 5, 8, 7], [14, 13, 16, 15]])
        for attributes, _ in jobs:
            self.assertEqual(attributes.get('IPP_SIDES'), 'one-sided')
        self.assertEqual(self.stored('FaceDownPrinters'), 'simplex')  # asked once, kept

    def test_an_odd_count_by_hand_takes_a_blank_back_in_its_turn(self):
        # Three sides of 2x2 on two sheets: the second has no back. Face down, the first
        # sheet comes out on top of the turned stack: its back first, the blank last.
        document = self.pdf('colours.pdf', 12)
        self.store(FaceDownPrinters='simplex')
        self.start_printing(document, 'simplex', BothSides='long edge', **self.A4)
        p = self.program
        p.click(p.find('push button', 'OK', timeout=20))
        turn = p.window('Turn the stack over', timeout=30)
        self.assertIsNotNone(turn, 'no instructions to turn the stack came')
        self.assertIn('from left to right (as a page of a book turns)',
                      ' '.join(p.find('label', lambda n: 'turn it over' in (n or ''), turn).name.split()))
        p.click(p.find('push button', 'Print the backs', turn))
        jobs = server.received('simplex', 3, self.since['simplex'])
        self.assertEqual(len(jobs), 3, 'the fronts, the backs and the blank sheet are three jobs')
        self.assertEqual(pages_of(jobs[0][1]), [[1, 2, 3, 4], [9, 10, 11, 12]])
        self.assertEqual(pages_of(jobs[1][1]), [[6, 5, 8, 7]])
        self.assertEqual(pages_of(jobs[2][1]), [[]], 'the blank sheet goes last')

    def test_printed_from_any_application_it_opens_as_a_row(self):
        # The machine's queue as the package makes it, and the user's printer, started as the
        # program starts it. CUPS's own lp prints to it while the program does not run.
        server.add_plyjoin_queue(os.path.join(SOURCE, 'printer', 'plyjoin.ppd'))
        env = dict(self.desktop.env, APPDATA=self.appdata, PLYJOIN_JOBS=self.jobs, CUPS_SERVER=server.server,
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', QT_QPA_PLATFORM='xcb', QT_ACCESSIBILITY='1',
                   XDG_DATA_HOME=os.path.join(self.folder, 'data'))
        printer_program = os.path.join(self.bin, 'plyjoin-printer')
        printer = subprocess.Popen([printer_program, 'server'], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, start_new_session=True)
        try:
            uri = lambda: subprocess.run([printer_program, 'uri'], env=env, capture_output=True, text=True).stdout.strip()
            self.assertTrue(self.desktop.wait(lambda: uri() != '', 20), 'the printer did not start')
            attributes = subprocess.run(['ipptool', '-tv', uri(), 'get-printer-attributes.test'],
                                        capture_output=True, text=True).stdout
            formats = re.search(r'document-format-supported \([^)]*\) = (\S+)', attributes).group(1).split(',')
            for wanted in ('application/pdf', 'image/jpeg', 'image/pwg-raster'):
                self.assertIn(wanted, formats)
            document = self.pdf('six.pdf', 6)
            sent = time.time()
            subprocess.run(['lp', '-h', server.server, '-d', QUEUE, '-t', 'Quarterly report', '-n', '2', document],
                           check=True, capture_output=True)
            self.program = Program.attach(self.desktop, 'plyjoin', 60)
            self.assertIsNotNone(self.program, 'the program did not start with the job')
            p = self.program
            self.main = p.window('Tavrell PDF Plyjoin')
            row = p.find('table cell', lambda n: (n or '').endswith('Quarterly report.pdf'), self.main, timeout=30)
            self.assertIsNotNone(row)
            print('\nfrom lp to the row on screen: %.2f s (the program started meanwhile)' % (time.time() - sent))
            # What the job asked for goes with its row.
            self.assertIn('2 copies', row.description or '')
            sheets = p.window('Sheets - Quarterly report.pdf', timeout=20)
            self.assertIsNotNone(sheets, 'the sheets window did not open')
            # Printed from there on a real printer: the imposed sheets arrive.
            self.sheet_label(sheets, 'Sheet 1 of 2')
            since = server.received_count('duplex')
            p.click(p.find('push button', 'Print', sheets))
            dialog = p.window('Print the sheets')
            printers = p.find('combo box', lambda n: n in server.QUEUES or (n or '').startswith('Tavrell'), dialog)
            if printers.name != 'duplex':
                p.click(printers)
                p.click(p.find('list item', 'duplex', dialog))
                self.assertTrue(self.desktop.wait(lambda: (printers.clear_cache(), printers.name)[1] == 'duplex'))
            p.click(p.find('push button', 'Print', dialog))
            attributes, printed = server.received('duplex', 1, since)[0]
            self.assertEqual(pages_of(printed), [[1, 2, 3, 4], [5, 6]])
            self.assertEqual(attributes.get("IPP_COPIES"), "2", "the copies the job asked for")
            # A second job joins the same window: no second program.
            sent = time.time()
            subprocess.run(['lp', '-h', server.server, '-d', QUEUE, '-t', 'Minutes', document], check=True,
                           capture_output=True)
            self.assertIsNotNone(p.find('table cell', lambda n: (n or '').endswith('Minutes.pdf'), self.main, timeout=30))
            print('from lp to the row on screen, the program running: %.2f s' % (time.time() - sent))
            self.assertIsNone(Program.attach(self.desktop, 'plyjoin', 2, exclude=(p.pid(),)), 'a second program started')
            # A picture sent straight to the printer becomes a row of one page.
            picture = os.path.join(self.folder, 'photo')
            subprocess.run(['pdftoppm', '-jpeg', '-r', '20', '-f', '1', '-l', '1', document, picture], check=True)
            subprocess.run(['ipptool', '-t', '-f', picture + '-1.jpg', '-d', 'filetype=image/jpeg', uri(),
                            'print-job.test'], check=True, capture_output=True)
            self.assertTrue(self.desktop.wait(lambda: len([d for d in os.listdir(self.jobs) if not d.startswith('.')]) == 3, 30))
            jpeg_job = sorted(d for d in os.listdir(self.jobs) if not d.startswith('.'))[-1]
            made = [f for f in os.listdir(os.path.join(self.jobs, jpeg_job)) if f.endswith('.pdf')][0]
            self.assertIsNotNone(p.find('table cell', lambda n: (n or '').endswith(made), self.main, timeout=30))
            info = subprocess.run(['pdfinfo', os.path.join(self.jobs, jpeg_job, made)], capture_output=True, text=True).stdout
            self.assertRegex(info, r'Pages:\s+1\n')
        finally:
            os.killpg(printer.pid, signal.SIGTERM)
            printer.wait(10)
            server.remove_queue(QUEUE)

    def test_a_stopped_queue_is_said_and_nothing_is_left(self):
        server.stop_queue('simplex')
        try:
            document = self.pdf('colours.pdf', 4)
            self.start_printing(document, 'simplex')
            warning = self.program.window('Warning', timeout=30)
            self.assertIsNotNone(warning, 'no message said why nothing was printed')
            said = self.program.find('label', lambda n: 'is stopped' in (n or ''), warning)
            self.assertIn('simplex', said.name)
            self.desktop.key('Return')
            # Nothing hangs: Print answers again; nothing the job made is left.
            sheets = self.program.window('Sheets - ')
            self.assertIsNotNone(self.program.find('push button', 'Print', sheets, timeout=5))
            left = [f for _, _, files in os.walk(self.tmp) for f in files if f in ('sheets.pdf', 'blank.pdf')]
            self.assertEqual(left, [])
        finally:
            server.start_queue('simplex')

    @unittest.skipUnless(os.environ.get('PLYJOIN_PRINT_BENCH'), 'a benchmark: set PLYJOIN_PRINT_BENCH to run it')
    def test_bench_lp_to_the_row_on_screen(self):
        # From lp to the job's row on screen (read through the accessibility bus): with the
        # program started for the job, and with the program running. Medians of five each.
        server.add_plyjoin_queue(os.path.join(SOURCE, 'printer', 'plyjoin.ppd'))
        env = dict(self.desktop.env, APPDATA=self.appdata, PLYJOIN_JOBS=self.jobs, CUPS_SERVER=server.server,
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', QT_QPA_PLATFORM='xcb', QT_ACCESSIBILITY='1',
                   XDG_DATA_HOME=os.path.join(self.folder, 'data'))
        printer_program = os.path.join(self.bin, 'plyjoin-printer')
        printer = subprocess.Popen([printer_program, 'server'], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, start_new_session=True)
        document = self.pdf('six.pdf', 6)
        started, running = [], []
        try:
            uri = lambda: subprocess.run([printer_program, 'uri'], env=env, capture_output=True, text=True).stdout.strip()
            self.assertTrue(self.desktop.wait(lambda: uri() != '', 20), 'the printer did not start')

            def one(title, program=None):
                sent = time.monotonic()
                subprocess.run(['lp', '-h', server.server, '-d', QUEUE, '-t', title, document], check=True,
                               capture_output=True)
                p = program or Program.attach(self.desktop, 'plyjoin', 60)
                main = p.window('Tavrell PDF Plyjoin')
                self.assertIsNotNone(p.find('table cell', lambda n: (n or '').endswith(title + '.pdf'), main,
                                            timeout=30, showing=False))
                return p, time.monotonic() - sent
            for i in range(5):
                p, took = one('Started %d' % i)
                started.append(took)
                for j in range(5 if i == 4 else 0):
                    running.append(one('Running %d' % j, p)[1])
                if i < 4:
                    p.stop()
                    self.desktop.wait(lambda: Program.attach(self.desktop, 'plyjoin', 0.1) is None, 10)
            self.program = p
        finally:
            os.killpg(printer.pid, signal.SIGTERM)
            printer.wait(10)
            server.remove_queue(QUEUE)
        median = lambda values: sorted(values)[len(values) // 2]  # noqa: E731
        print('\nlp to the row on screen: %.0f ms with the program started for the job (worst %.0f), '
              '%.0f ms with it running (worst %.0f)' % (median(started) * 1000, max(started) * 1000,
                                                       median(running) * 1000, max(running) * 1000), file=sys.stderr)

    @unittest.skipUnless(os.environ.get('PLYJOIN_PRINT_BENCH'), 'a benchmark: set PLYJOIN_PRINT_BENCH to run it')
    def test_bench_a_hundred_page_booklet_from_the_click(self):
        # From the click on the dialog's Print to the job held by the print server (CUPS has
        # the job and its whole document), and to the printer's having it.
        document = self.pdf('hundred.pdf', 100, kind='--a5')
        spool = os.path.join(server.folder, 'spool')
        before = set(os.listdir(spool))
        clicked = []
        self.start_printing(document, 'duplex', before_print=lambda dialog: clicked.append(time.monotonic()),
                            Booklet='1', BothSides='long edge', **self.A4_LANDSCAPE)

        def held():
            queued = subprocess.run(['lpstat', '-h', server.server, '-W', 'all', '-o', 'duplex'],
                                    capture_output=True, text=True).stdout
            return any(f.startswith('d') for f in set(os.listdir(spool)) - before) or 'duplex-' in queued
        while not held() and time.monotonic() - clicked[0] < 30:
            time.sleep(0.005)
        at_server = time.monotonic() - clicked[0]
        server.received('duplex', 1, self.since['duplex'])
        at_printer = time.monotonic() - clicked[0]
        print('\n100-page booklet: at the print server %.0f ms after the click, at the printer %.0f ms'
              % (at_server * 1000, at_printer * 1000), file=sys.stderr)


if __name__ == '__main__':
    BIN = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
