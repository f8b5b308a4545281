# Steps shared by the real-input tests: a fresh settings file and files for each test, the
# built program started on the desktop, and what its sheets window says.
import configparser
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from desktop import Program


class RealInputCase(unittest.TestCase):
    """Each test starts the program afresh, with its own settings file and files. The module
    that holds the tests sets `desktop` and `bin`."""

    desktop = None
    bin = None

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix='plyjoin-realinput-')
        self.appdata = os.path.join(self.folder, 'appdata')
        self.out = os.path.join(self.folder, 'out')
        os.mkdir(self.appdata)
        os.mkdir(self.out)
        self.settings = os.path.join(self.appdata, 'DIVAdedovuViduvuzoraSettingInfo.ini')
        self.jobs = os.path.join(self.folder, 'jobs')
        self.store(OutputFolder=self.out, InputFolder=self.folder)
        self.program = None

    def tearDown(self):
        if self.program is not None:
            if self._outcome_failed():
                shot = os.path.join(tempfile.gettempdir(), 'plyjoin-realinput-%s.png' % self._testMethodName)
                self.desktop.screenshot(shot)
                print('\nscreenshot of the failure: %s\nthe program said:\n%s' % (shot, self.program.output()))
            self.program.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    def _outcome_failed(self):
        return not getattr(getattr(self, '_outcome', None), 'success', True)

    # Set-up helpers.
    def store(self, **values):
        existing = self.stored_all()
        existing.update(values)
        with open(self.settings, 'w') as f:
            f.write('\n'.join(['[SettingInfo]'] + ['%s=%s' % (k, v) for k, v in existing.items()]) + '\n')

    def stored_all(self):
        parser = configparser.ConfigParser(interpolation=None)
        parser.optionxform = str
        if os.path.exists(self.settings):
            parser.read(self.settings)
        return dict(parser['SettingInfo']) if parser.has_section('SettingInfo') else {}

    def stored(self, key):
        return self.stored_all().get(key)

    def pdf(self, name, pages, kind='--filled'):
        path = os.path.join(self.folder, name)
        subprocess.run([os.path.join(self.bin, 'pdfplyjoin-sample'), kind, path, str(pages)], check=True)
        return path

    def start(self, *files, env=None):
        # Printed jobs of the test's own; no printer application started by the program.
        self.program = Program(self.desktop, [os.path.join(self.bin, 'plyjoin'), *files],
                               env=dict({'APPDATA': self.appdata, 'PLYJOIN_JOBS': self.jobs, 'PLYJOIN_NO_PRINTER': '1'},
                                        **(env or {})), cwd=self.folder)
        self.main = self.program.window('Tavrell PDF Plyjoin')
        self.assertIsNotNone(self.main, 'the main window did not appear')
        return self.program

    def open_sheets(self, document):
        p = self.program
        p.click(p.find('push button', 'Preview', self.main))
        sheets = p.window('Sheets - ' + os.path.basename(document))
        self.assertIsNotNone(sheets, 'Preview opened no sheets window')
        self.sheet_label(sheets, lambda t: t.startswith('Sheet 1 of'))
        return sheets

    def sheet_label(self, sheets, expected, timeout=20):
        """The sheet counter once it reads as expected (a text or a test of the text)."""
        p = self.program
        test = expected if callable(expected) else (lambda t: t == expected)
        label = p.find('label', lambda n: (n or '').startswith('Sheet '), sheets)
        seen = self.desktop.wait(lambda: (lambda t: t if test(t) else None)(p.text_of(label)), timeout)
        self.assertIsNotNone(seen, 'the sheet counter reads %r' % p.text_of(label))
        return seen

    def described(self, sheets, expected, timeout=20):
        p = self.program
        view = p.find('image', 'Sheet', sheets)
        seen = self.desktop.wait(lambda: (lambda d: d if d == expected else None)(
            (view.clear_cache(), view.description)[1]), timeout)
        self.assertEqual(seen, expected, 'the sheet is described as %r' % view.description)

    def move_out_of_the_way(self, window_name):
        """Moves a window to the top left corner of the screen, clear of the main window."""
        wid = self.desktop.xdotool('search', '--name', '^' + window_name).split()[0]
        self.desktop.xdotool('windowmove', '--sync', wid, '0', '0')
        time.sleep(0.3)

