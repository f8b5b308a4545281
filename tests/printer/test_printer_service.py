# The printer "Tavrell PDF Plyjoin" as a service on a shared machine, tried for real: the
# printer application (plyjoin-printer) of the owner (this test's user), a CUPS scheduler of
# the test's own with the machine's queue as the package makes it (the backend "plyjoin", its
# PPD, the policy "authenticated"), and a second local user (nobody) who tries what the owner
# alone may do. Every refusal is a row; jobs are counted in the owner's jobs folder.
#
#   test_printer_service.py BUILD_BIN SHIM
#
# It needs root (to start cupsd, to install the backend as CUPS runs it, and to be another
# user through runuser); elsewhere it is skipped, and CI, which runs as root, must run it.
import os
import pwd
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

BIN = SHIM = None
QUEUE = 'Tavrell_PDF_Plyjoin'
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def wait(condition, timeout=20, step=0.1):
    end = time.time() + timeout
    while time.time() < end:
        if condition():
            return True
        time.sleep(step)
    return False


def pdf(path, width, height, pages=1):
    """A small PDF of `pages` pages of width x height points, each with its number drawn."""
    objects = ['<< /Type /Catalog /Pages 2 0 R >>', None]
    kids = []
    for n in range(pages):
        content = ('BT /F1 24 Tf 20 20 Td (%d) Tj ET' % (n + 1)).encode()
        objects.append('<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %g %g] /Contents %d 0 R '
                       '/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> >>'
                       % (width, height, len(objects) + 2))
        kids.append('%d 0 R' % len(objects))
        objects.append(b'<< /Length %d >>\nstream\n' % len(content) + content + b'\nendstream')
    objects[1] = '<< /Type /Pages /Kids [%s] /Count %d >>' % (' '.join(kids), pages)
    out = bytearray(b'%PDF-1.4\n')
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b'%d 0 obj\n' % number + (body if isinstance(body, bytes) else body.encode()) + b'\nendobj\n'
    xref = len(out)
    out += b'xref\n0 %d\n0000000000 65535 f \n' % (len(objects) + 1)
    out += b''.join(b'%010d 00000 n \n' % o for o in offsets)
    out += b'trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n' % (len(objects) + 1, xref)
    with open(path, 'wb') as f:
        f.write(out)
    os.chmod(path, 0o644)
    return path


def pwg_raster(path, width, height, bits_per_pixel=24, bytes_per_line=None, space=19, lines=10):
    """A PWG raster job of one page whose header says what it is given, and a few white lines."""
    header = bytearray(1796)
    header[0:10] = b'PwgRaster\0'
    struct.pack_into('>II', header, 276, 300, 300)
    struct.pack_into('>IIIIIIII', header, 372, width, height, 0, 8, bits_per_pixel,
                     bytes_per_line if bytes_per_line is not None else width * bits_per_pixel // 8, 0, space)
    struct.pack_into('>I', header, 420, bits_per_pixel // 8)
    with open(path, 'wb') as f:
        f.write(b'RaS2' + bytes(header) + b'\x00\x80' * lines)
    os.chmod(path, 0o644)
    return path


def jpeg_points(path):
    """A JPEG's size in points at the resolution its JFIF header says."""
    with open(path, 'rb') as f:
        data = f.read()
    assert data[6:11] == b'JFIF\0' and data[13] == 1
    dpi_x, dpi_y = struct.unpack('>HH', data[14:18])
    at = 2
    while data[at + 1] not in (0xC0, 0xC1, 0xC2):
        at += 2 + struct.unpack('>H', data[at + 2:at + 4])[0]
    height, width = struct.unpack('>HH', data[at + 5:at + 9])
    return '%g x %g' % (round(width * 72 / dpi_x, 2), round(height * 72 / dpi_y, 2))


def kept_pdf(folder):
    return os.path.join(folder, [n for n in os.listdir(folder) if n.endswith('.pdf')][0])


def page_sizes(path):
    info = subprocess.run(['pdfinfo', '-f', '1', '-l', '99', path], capture_output=True, text=True).stdout
    return [line.split(':', 1)[1].split('pts')[0].strip() for line in info.splitlines()
            if line.startswith('Page') and 'size:' in line]


class PrinterService(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        missing = [p for p in ('cupsd', 'lpadmin', 'ipptool', 'runuser')
                   if not shutil.which(p) and not os.path.exists('/usr/sbin/' + p)]
        why = ('needs root: a CUPS scheduler of its own, its backend, and a second user' if os.geteuid() != 0
               else ', '.join(missing) + ' not installed' if missing else None)
        if why:
            # In CI (PLYJOIN_REQUIRE_PRINT_TESTS set) a test that cannot run is a failure.
            if os.environ.get('PLYJOIN_REQUIRE_PRINT_TESTS'):
                raise RuntimeError(why)
            raise unittest.SkipTest(why)
        cls.folder = tempfile.mkdtemp(prefix='plyjoin-service-')
        os.chmod(cls.folder, 0o755)
        cls.processes = []
        cls.owner = pwd.getpwuid(os.getuid()).pw_name
        # The users' runtime folders, as /run/user is: the owner's private.
        cls.runtime_root = os.path.join(cls.folder, 'run')
        os.makedirs(cls.runtime_root, 0o755)
        cls.runtime = os.path.join(cls.runtime_root, str(os.getuid()))
        os.mkdir(cls.runtime, 0o700)
        cls.jobs = os.path.join(cls.folder, 'jobs')
        cls.starts = os.path.join(cls.folder, 'program-starts')
        cls.program_pids = os.path.join(cls.folder, 'program-pids')
        program = os.path.join(cls.folder, 'program')
        with open(program, 'w') as f:
            # Open as the program is open, with its window, until closed; it listens nowhere.
            f.write('#!/bin/sh\necho "$@" >> "%s"\necho $$ >> "%s"\nexec sleep 60\n' % (cls.starts, cls.program_pids))
        os.chmod(program, 0o755)
        cls.env = dict(os.environ, XDG_RUNTIME_DIR=cls.runtime, XDG_DATA_HOME=os.path.join(cls.folder, 'data'),
                       PLYJOIN_JOBS=cls.jobs, PLYJOIN_PROGRAM=program)
        cls.env.pop('XDG_SESSION_ID', None)
        cls.documents = os.path.join(cls.folder, 'documents')
        os.makedirs(cls.documents, 0o755)
        cls.start_cups()
        cls.start_printer()

    @classmethod
    def tearDownClass(cls):
        cls.stop_printer()
        cls.close_programs()
        for process in reversed(cls.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()
        if not os.environ.get("PLYJOIN_KEEP"):
            shutil.rmtree(cls.folder, ignore_errors=True)

    @classmethod
    def close_programs(cls):
        if not os.path.exists(cls.program_pids):
            return
        with open(cls.program_pids) as f:
            for pid in f.read().split():
                try:
                    os.kill(int(pid), signal.SIGTERM)
                except ProcessLookupError:
                    pass
        os.remove(cls.program_pids)

    # --- the scheduler and the printer ------------------------------------------------------

    @classmethod
    def start_cups(cls):
        f = os.path.join(cls.folder, 'cups')
        serverbin = os.path.join(f, 'serverbin')
        os.makedirs(os.path.join(serverbin, 'backend'))
        for name in os.listdir('/usr/lib/cups'):
            if name != 'backend':
                os.symlink(os.path.join('/usr/lib/cups', name), os.path.join(serverbin, name))
        for name in os.listdir('/usr/lib/cups/backend'):
            os.symlink(os.path.join('/usr/lib/cups/backend', name), os.path.join(serverbin, 'backend', name))
        # As the package installs it: root's alone, so that CUPS runs it as root.
        shutil.copy(os.path.join(BIN, 'plyjoin-backend'), os.path.join(serverbin, 'backend', 'plyjoin'))
        os.chmod(os.path.join(serverbin, 'backend', 'plyjoin'), 0o700)
        for d in ('conf', 'run'):
            os.makedirs(os.path.join(f, d), 0o755)
        for d in ('spool', 'tmp', 'cache', 'state', 'log'):
            os.makedirs(os.path.join(f, d))
            shutil.chown(os.path.join(f, d), 'lp', 'lp')
        with open('/etc/cups/cupsd.conf') as system:
            text = system.read()
        policy = text[text.index('<Policy authenticated>'):text.index('</Policy>', text.index('<Policy authenticated>')) + 9]
        cls.cups_socket = os.path.join(f, 'run', 'cups.sock')
        with open(os.path.join(f, 'conf', 'cupsd.conf'), 'w') as conf:
            conf.write('Listen %s\nLogLevel debug\nBrowsing No\nWebInterface No\nDefaultAuthType Basic\n'
                       '<Location />\n  Order allow,deny\n  Allow all\n</Location>\n'
                       '<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n%s\n'
                       % (cls.cups_socket, policy))
        with open(os.path.join(f, 'conf', 'cups-files.conf'), 'w') as conf:
            conf.write('ServerRoot {0}/conf\nRequestRoot {0}/spool\nTempDir {0}/tmp\nCacheDir {0}/cache\n'
                       'StateDir {0}/state\nErrorLog {0}/log/error_log\nAccessLog {0}/log/access_log\n'
                       'PageLog {0}/log/page_log\nServerBin {1}\nDataDir /usr/share/cups\nUser lp\nGroup lp\n'
                       'SystemGroup root\nSetEnv PLYJOIN_RUNTIME_ROOT {2}\n'.format(f, serverbin, cls.runtime_root))
        cls.cups_log = os.path.join(f, 'log', 'error_log')
        cls.processes.append(subprocess.Popen(['cupsd', '-f', '-c', os.path.join(f, 'conf', 'cupsd.conf'),
                                               '-s', os.path.join(f, 'conf', 'cups-files.conf')],
                                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        cls.env['CUPS_SERVER'] = cls.cups_socket
        if not wait(lambda: b'is running' in subprocess.run(['lpstat', '-r'], env=cls.env, capture_output=True).stdout):
            raise RuntimeError('cupsd did not start')
        # The queue as the package's postinst makes it.
        subprocess.run(['lpadmin', '-p', QUEUE, '-D', 'Tavrell PDF Plyjoin', '-v', 'plyjoin:/', '-P',
                        os.path.join(SOURCE, 'printer', 'plyjoin.ppd'), '-o', 'printer-is-shared=false', '-E'],
                       env=cls.env, check=True, capture_output=True)
        subprocess.run(['lpadmin', '-p', QUEUE, '-o', 'printer-op-policy=authenticated'], env=cls.env, check=True)

    @classmethod
    def start_printer(cls, extra_env=None):
        with open(os.path.join(cls.folder, 'printer.log'), 'a') as log:
            cls.printer = subprocess.Popen([os.path.join(BIN, 'plyjoin-printer'), 'server'],
                                           env=dict(cls.env, **(extra_env or {})), stdout=subprocess.DEVNULL, stderr=log)
        if not wait(lambda: cls.uri() is not None, 20):
            raise RuntimeError('plyjoin-printer did not start')

    @classmethod
    def stop_printer(cls, kill=False):
        if getattr(cls, 'printer', None) and cls.printer.poll() is None:
            cls.printer.send_signal(signal.SIGKILL if kill else signal.SIGTERM)
            cls.printer.wait(30)

    @classmethod
    def uri(cls):
        said = subprocess.run([os.path.join(BIN, 'plyjoin-printer'), 'uri'], env=cls.env, capture_output=True, text=True)
        return said.stdout.strip() if said.returncode == 0 and said.stdout.strip() else None

    # --- helpers ------------------------------------------------------------------------------

    def kept(self):
        """The owner's kept jobs: (folder, attributes) oldest first."""
        if not os.path.isdir(self.jobs):
            return []
        found = []
        for name in sorted(os.listdir(self.jobs)):
            if name.startswith('.'):
                continue
            with open(os.path.join(self.jobs, name, 'job.ini')) as f:
                found.append((os.path.join(self.jobs, name), dict(l.rstrip('\n').split('=', 1) for l in f if '=' in l)))
        return found

    def wait_kept(self, count, timeout=30):
        wait(lambda: len(self.kept()) >= count, timeout)
        return self.kept()

    def titled(self, title, count=None, timeout=30):
        """The folders of the kept jobs titled `title`; with `count`, once there are that many."""
        found = lambda: [f for f, a in self.kept() if a['title'] == title]
        if count is not None:
            wait(lambda: len(found()) >= count, timeout)
        return found()

    def print_test(self, title, document_format='application/pdf'):
        """An ipptool test that prints its file as a job titled `title`."""
        return self.operation_test('print-' + title.replace(' ', '-'), 'Print-Job', 'successful-ok',
                                   extra='\tATTR name job-name "%s"\n\tATTR mimeMediaType document-format %s\n'
                                         '\tFILE $filename\n' % (title, document_format))

    def ipptool(self, test, as_user=None, document=None, variables=None, uri=None):
        command = ['ipptool', '-t', '-T', '20']
        if document:
            command += ['-f', document]
        for name, value in (variables or {}).items():
            command += ['-d', '%s=%s' % (name, value)]
        command += [uri or self.uri(), test]
        if as_user:
            command = ['runuser', '-u', as_user, '--'] + command
        return subprocess.run(command, capture_output=True, text=True, env=self.env, stdin=subprocess.DEVNULL)

    def operation_test(self, name, operation, status, uri_kind='printer', extra=''):
        path = os.path.join(self.documents, name + '.test')
        target = ('ATTR uri system-uri $uri\n\tATTR integer printer-id 1' if uri_kind == 'system'
                  else 'ATTR uri printer-uri $uri')
        with open(path, 'w') as f:
            f.write('{\n\tNAME "%s"\n\tOPERATION %s\n\tGROUP operation-attributes-tag\n'
                    '\tATTR charset attributes-charset utf-8\n\tATTR naturalLanguage attributes-natural-language en\n'
                    '\t%s\n\tATTR name requesting-user-name %s\n%s\tSTATUS %s\n}\n'
                    % (name, operation, target, self.owner, extra, status))
        os.chmod(path, 0o644)
        return path

    def lp(self, path, *options, as_user=None):
        command = ['lp', '-d', QUEUE] + list(options) + [path]
        if as_user:
            command = ['runuser', '-u', as_user, '--', 'env', 'CUPS_SERVER=' + self.cups_socket] + command
        return subprocess.run(command, capture_output=True, text=True, env=self.env, stdin=subprocess.DEVNULL)

    # --- the tests ------------------------------------------------------------------------------

    def test_printed_with_lp_arrives_at_its_own_size(self):
        a4 = pdf(os.path.join(self.documents, 'a4.pdf'), 595.28, 841.89, 2)
        letter = pdf(os.path.join(self.documents, 'letter.pdf'), 612, 792, 1)
        self.assertEqual(self.lp(a4, '-t', 'An A4 report').returncode, 0)
        self.assertEqual(self.lp(letter, '-t', 'A Letter memo', '-o', 'media=A4', '-n', '3').returncode, 0)
        subprocess.run(['pdftoppm', '-jpeg', '-r', '50', '-f', '1', '-l', '1', a4,
                        os.path.join(self.documents, 'photo')], check=True)
        photo = os.path.join(self.documents, 'photo-1.jpg')
        os.chmod(photo, 0o644)
        self.assertEqual(self.lp(photo, '-t', 'A photo').returncode, 0)
        jobs = {title: (self.titled(title, 1) + [None])[0] for title in ('A Letter memo', 'A photo', 'An A4 report')}
        self.assertNotIn(None, jobs.values())
        # The PDFs as they were sent, byte for byte; the picture at its size, not resampled.
        with open(a4, 'rb') as sent, open(os.path.join(jobs['An A4 report'], 'An A4 report.pdf'), 'rb') as got:
            self.assertEqual(sent.read(), got.read())
        memo = os.path.join(jobs['A Letter memo'], 'A Letter memo.pdf')
        self.assertEqual(page_sizes(memo), ['612 x 792'])
        kept_photo = os.path.join(jobs['A photo'], 'A photo.pdf')
        self.assertEqual(page_sizes(kept_photo), [jpeg_points(photo)])
        self.assertLess(os.path.getsize(kept_photo), os.path.getsize(photo) + 2000)
        with open(os.path.join(jobs['A Letter memo'], 'job.ini')) as f:
            ini = f.read()
        self.assertIn('copies=3\n', ini)
        self.assertIn('media=iso_a4_210x297mm\n', ini)

    def test_another_user_is_refused(self):
        # A job of the owner's, held, for the job operations to aim at.
        document = pdf(os.path.join(self.documents, 'owners.pdf'), 595, 842)
        held = self.operation_test('hold', 'Print-Job', 'successful-ok',
                                   extra='\tATTR name job-name "Held for the refusals"\n'
                                         '\tATTR mimeMediaType document-format application/pdf\n'
                                         '\tGROUP job-attributes-tag\n\tATTR keyword job-hold-until indefinite\n'
                                         '\tFILE $filename\n\tEXPECT job-id\n\tDISPLAY job-id\n')
        said = self.ipptool(held, document=document)
        self.assertEqual(said.returncode, 0, said.stdout)
        job_id = said.stdout.split('job-id (integer) = ')[1].split()[0] if 'job-id (integer)' in said.stdout else '1'
        system = self.uri().replace('/ipp/print', '/ipp/system')
        rows = [
            ('Print-Job', 'Print-Job', 'printer', '\tATTR mimeMediaType document-format application/pdf\n'
                                                  '\tFILE $filename\n'),
            ('Create-Job', 'Create-Job', 'printer', ''),
            ('Validate-Job', 'Validate-Job', 'printer', ''),
            ('Get-Jobs with titles', 'Get-Jobs', 'printer', '\tATTR keyword requested-attributes job-name\n'),
            ('Get-Job-Attributes', 'Get-Job-Attributes', 'printer', '\tATTR integer job-id %s\n' % job_id),
            ('Cancel-Job', 'Cancel-Job', 'printer', '\tATTR integer job-id %s\n' % job_id),
            ('Release-Job', 'Release-Job', 'printer', '\tATTR integer job-id %s\n' % job_id),
            ('Cancel-Jobs', 'Cancel-Jobs', 'printer', ''),
            ('Pause-Printer', 'Pause-Printer', 'printer', ''),
            ('Disable-Printer', 'Disable-Printer', 'printer', ''),
            ('Hold-New-Jobs', 'Hold-New-Jobs', 'printer', ''),
            ('Set-Printer-Attributes', 'Set-Printer-Attributes', 'printer',
             '\tGROUP printer-attributes-tag\n\tATTR text printer-location "elsewhere"\n'),
            ('Delete-Printer', 'Delete-Printer', 'system', ''),
            ('Shutdown-All-Printers', 'Shutdown-All-Printers', 'system', ''),
        ]
        for name, operation, kind, extra in rows:
            with self.subTest(name):
                test = self.operation_test(name.replace(' ', '-'), operation, 'successful-ok', kind, extra)
                said = self.ipptool(test, as_user='nobody', document=document,
                                    uri=system if kind == 'system' else None)
                # Refused as CUPS refuses: HTTP 403, which IPP clients read as client-error-forbidden.
                self.assertNotEqual(said.returncode, 0, said.stdout)
                self.assertIn('client-error-forbidden', said.stdout)
        # The printer's socket lies in a folder only the owner may enter.
        with self.subTest('the printer socket'):
            said = subprocess.run(['runuser', '-u', 'nobody', '--', 'python3', '-c',
                                   'import socket; s = socket.socket(socket.AF_UNIX); s.connect(%r)'
                                   % os.path.join(self.runtime, 'plyjoin', 'printer.sock')],
                                  capture_output=True, text=True)
            self.assertIn('Permission denied', said.stderr)
        # CUPS authenticates who prints: naming the owner is refused.
        with self.subTest('lp naming the owner'):
            self.assertNotEqual(self.lp(document, '-U', self.owner, '-t', 'Not yours', as_user='nobody').returncode, 0)
        with self.subTest('lp as itself'):
            self.assertEqual(self.lp(document, '-t', 'Nobodys own', as_user='nobody').returncode, 0)
        time.sleep(3)
        for title in ('Not yours', 'Nobodys own', 'Held for the refusals'):
            self.assertEqual(self.titled(title), [], 'a job reached the owner\'s jobs: ' + title)
        self.assertIsNone(self.printer.poll(), 'the printer ended')
        # The owner's held job is still there, untouched, and the owner may let it go.
        release = self.operation_test('release', 'Release-Job', 'successful-ok', extra='\tATTR integer job-id %s\n' % job_id)
        self.assertEqual(self.ipptool(release).returncode, 0)
        self.assertEqual(len(self.titled('Held for the refusals', 1)), 1)
        subprocess.run(['cancel', '-a', QUEUE], env=self.env, capture_output=True)

    def test_no_raster_crashes_it(self):
        rows = [('100000 x 100000 sRGB', dict(width=100000, height=100000), 'pixels a side'),
                ('2^29+1 wide, 1 byte a line', dict(width=2 ** 29 + 1, height=10, bits_per_pixel=8, bytes_per_line=1,
                                                     space=18), 'pixels a side'),
                ('a page of 2^31 bytes', dict(width=32768, height=21846), 'MiB')]
        for name, header, reason in rows:
            with self.subTest(name):
                raster = pwg_raster(os.path.join(self.documents, 'raster.pwg'), **header)
                said = subprocess.run(['ipptool', '-tv', '-f', raster, '-d', 'filetype=image/pwg-raster', self.uri(),
                                       'print-job.test'], capture_output=True, text=True)
                self.assertIn(reason, said.stdout)
                self.assertIn('aborted', said.stdout)
                self.assertIsNone(self.printer.poll(), 'the printer ended')
        good = pwg_raster(os.path.join(self.documents, 'good.pwg'), 300, 150, lines=150)
        said = self.ipptool(self.print_test('A good raster', 'image/pwg-raster'), document=good)
        self.assertEqual(said.returncode, 0, said.stdout)
        # 300 x 150 pixels at 300 an inch.
        self.assertEqual(page_sizes(kept_pdf(self.titled('A good raster', 1)[0])), ['72 x 36'])

    def test_fifty_jobs_from_five_clients_at_once(self):
        document = pdf(os.path.join(self.documents, 'many.pdf'), 595, 842)
        test = self.print_test('One of fifty')
        failures = []

        def client():
            for _ in range(10):
                said = self.ipptool(test, document=document)
                if said.returncode != 0:
                    failures.append(said.stdout)
        clients = [threading.Thread(target=client) for _ in range(5)]
        for c in clients:
            c.start()
        for c in clients:
            c.join()
        self.assertEqual(failures, [])
        self.assertEqual(len(self.titled('One of fifty', 50, 60)), 50)

    def test_a_held_job_keeps_nothing_waiting(self):
        document = pdf(os.path.join(self.documents, 'waits.pdf'), 595, 842)
        held = self.operation_test('held', 'Print-Job', 'successful-ok',
                                   extra='\tATTR mimeMediaType document-format application/pdf\n'
                                         '\tGROUP job-attributes-tag\n\tATTR keyword job-hold-until indefinite\n'
                                         '\tFILE $filename\n')
        self.assertEqual(self.ipptool(held, document=document).returncode, 0)
        self.assertEqual(self.ipptool(self.print_test('After a held one'), document=document).returncode, 0)
        self.assertEqual(len(self.titled('After a held one', 1)), 1)
        cancel = self.operation_test('cancel-all', 'Cancel-Jobs', 'successful-ok')
        self.ipptool(cancel)

    def test_nothing_lost_when_the_printer_is_killed(self):
        document = pdf(os.path.join(self.documents, 'killed.pdf'), 595, 842, 3)
        # Killed while it keeps a job, the client told it is accepted.
        self.stop_printer()
        self.start_printer({'LD_PRELOAD': SHIM, 'SHIM_KILL_AT_RENAME': self.jobs + '/.'})
        self.ipptool(self.print_test('Killed while kept'), document=document)
        self.assertTrue(wait(lambda: self.printer.poll() is not None, 20), 'the printer was not killed')
        # Killed during an upload: half a document sent, the connection still open.
        self.start_printer()
        port = int(self.uri().rsplit(':', 1)[1].split('/')[0])
        upload = socket.create_connection(('localhost', port))
        request = (struct.pack('>bbhi', 2, 0, 2, 1) + self.attribute(0x01, 0x47, 'attributes-charset', 'utf-8')
                   + self.attribute(None, 0x48, 'attributes-natural-language', 'en')
                   + self.attribute(None, 0x45, 'printer-uri', self.uri())
                   + self.attribute(None, 0x42, 'requesting-user-name', self.owner)
                   + self.attribute(None, 0x42, 'job-name', 'Cut off')
                   + self.attribute(None, 0x49, 'document-format', 'application/pdf') + b'\x03')
        with open(document, 'rb') as f:
            body = f.read()
        upload.sendall(b'POST /ipp/print HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/ipp\r\n'
                       b'Content-Length: %d\r\n\r\n' % (len(request) + len(body)) + request + body[:len(body) // 2])
        spool = os.path.join(self.folder, 'data', 'plyjoin', 'printer-spool')
        wait(lambda: any(n.endswith('.pdf') for n in os.listdir(spool)), 10)
        self.stop_printer(kill=True)
        upload.close()
        # Started again: the kept job once, nothing half-written anywhere.
        self.start_printer()
        kept = self.titled('Killed while kept', 1)
        time.sleep(1)
        self.assertEqual(len(self.titled('Killed while kept')), 1)
        self.assertEqual(self.titled('Cut off'), [])
        self.assertEqual([n for n in os.listdir(self.jobs) if n.startswith('.')], [])
        self.assertEqual(os.listdir(spool), [])
        self.assertEqual(page_sizes(kept_pdf(kept[0])), ['595 x 842'] * 3)

    @staticmethod
    def attribute(group, tag, name, value):
        prefix = bytes([group]) if group is not None else b''
        return prefix + bytes([tag]) + struct.pack('>h', len(name)) + name.encode() + struct.pack('>h', len(value)) \
            + value.encode()

    def test_a_burst_of_jobs_starts_the_program_once(self):
        if os.path.exists(self.starts):
            os.remove(self.starts)
        document = pdf(os.path.join(self.documents, 'burst.pdf'), 595, 842)
        for _ in range(8):
            self.assertEqual(self.lp(document, '-t', 'In a burst').returncode, 0)
        self.titled('In a burst', 8)
        with open(self.starts) as f:
            self.assertEqual(f.read().split(), ['--jobs'])
        # Closed before the next job: that job starts it again, without waiting.
        self.close_programs()
        self.assertEqual(self.lp(document, '-t', 'After closing').returncode, 0)
        self.titled('After closing', 1)
        self.assertTrue(wait(lambda: open(self.starts).read().split() == ['--jobs'] * 2, 5))

    def test_someone_listening_first_takes_nothing(self):
        # Another user listens on the owner's port before the owner's printer starts.
        self.stop_printer()
        port = 49152 + os.getuid() % 16000
        squatter = subprocess.Popen(['runuser', '-u', 'nobody', '--', 'python3', '-c',
                                     'import socket, sys\n'
                                     's = socket.socket(socket.AF_INET6 if ":" in sys.argv[1] else socket.AF_INET)\n'
                                     's.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n'
                                     's.bind((sys.argv[1], %d)); s.listen(5); print("listening", flush=True)\n'
                                     'c, _ = s.accept(); print("got a connection", flush=True)\n' % port,
                                     '127.0.0.1'], stdout=subprocess.PIPE, text=True, start_new_session=True)
        try:
            self.assertEqual(squatter.stdout.readline().strip(), 'listening',
                             subprocess.run(['ss', '-tanp'], capture_output=True, text=True).stdout)
            self.start_printer()
            self.assertNotIn(':%d/' % port, self.uri())
            document = pdf(os.path.join(self.documents, 'contract.pdf'), 595, 842)
            self.assertEqual(self.lp(document, '-t', 'contract').returncode, 0)
            self.assertEqual(len(self.titled('contract', 1)), 1)
            self.assertIsNone(squatter.poll(), 'the squatter received a connection')
        finally:
            os.killpg(squatter.pid, signal.SIGKILL)
            squatter.wait()
        self.stop_printer()
        self.start_printer()

    def test_it_ends_with_its_session_and_one_runs_at_a_time(self):
        self.stop_printer()
        sessions = os.path.join(self.folder, 'sessions')
        os.makedirs(sessions, exist_ok=True)
        with open(os.path.join(sessions, 'c7'), 'w') as f:
            f.write('UID=0\nSTATE=active\n')
        self.start_printer({'XDG_SESSION_ID': 'c7', 'PLYJOIN_SESSIONS': sessions})
        # A second start (the next log-in's) finds the first and leaves it be.
        second = subprocess.run([os.path.join(BIN, 'plyjoin-printer'), 'server'], env=self.env, capture_output=True,
                                text=True, timeout=20)
        self.assertEqual(second.returncode, 0)
        self.assertIn('runs already', second.stdout)
        self.assertIsNone(self.printer.poll())
        # The session ends (the user logs out): the printer ends with it.
        with open(os.path.join(sessions, 'c7'), 'w') as f:
            f.write('UID=0\nSTATE=closing\n')
        self.assertTrue(wait(lambda: self.printer.poll() is not None, 15), 'the printer outlived its session')
        self.assertIsNone(self.uri())
        self.start_printer()

    def test_conformance(self):
        # CUPS's own test files, in a folder with the documents they name.
        folder = os.path.join(self.folder, 'ipptool')
        os.makedirs(folder, exist_ok=True)
        for name in ('ipp-1.1.test', 'ipp-2.0.test', 'ipp-everywhere.test'):
            shutil.copy(os.path.join('/usr/share/cups/ipptool', name), folder)
        for name, size in (('document-a4.pdf', (595, 842)), ('onepage-a4.pdf', (595, 842)),
                           ('document-letter.pdf', (612, 792)), ('onepage-letter.pdf', (612, 792)),
                           ('testfile.pdf', (612, 792))):
            pdf(os.path.join(folder, name), *size, pages=1 if 'onepage' in name else 2)
        subprocess.run(['pdftoppm', '-jpeg', '-r', '30', '-singlefile', os.path.join(folder, 'testfile.pdf'),
                        os.path.join(folder, 'color')], check=True)
        for name in ('gray.jpg', 'testfile.jpg'):
            shutil.copy(os.path.join(folder, 'color.jpg'), os.path.join(folder, name))
        for name in ('document-a4.ps', 'document-letter.ps', 'onepage-a4.ps', 'onepage-letter.ps', 'testfile.ps'):
            with open(os.path.join(folder, name), 'w') as f:
                f.write('%!PS\nshowpage\n')
        for name in ('onepage-a4-300-black-1.pwg', 'onepage-letter-300-black-1.pwg'):
            pwg_raster(os.path.join(folder, name), 2480, 3508, bits_per_pixel=8, space=18, lines=0)
        for test in ('ipp-1.1.test', 'ipp-2.0.test', 'ipp-everywhere.test'):
            with self.subTest(test):
                said = subprocess.run(['ipptool', '-t', '-T', '30', '-f', os.path.join(folder, 'testfile.pdf'),
                                       self.uri(), os.path.join(folder, test)], capture_output=True, text=True)
                self.assertEqual(said.returncode, 0, said.stdout[-3000:] + said.stderr)


if __name__ == '__main__':
    BIN, SHIM = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
