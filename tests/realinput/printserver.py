# A print server of the tests' own: a private CUPS scheduler (its own configuration folder
# and port) with two queues, each on an IPP Everywhere printer that keeps what it receives
# (ippeveprinter): one with a duplex unit, one without. What a printer received is recorded
# by the printer's print command: the job's IPP attributes and the PDF, per job in order.
#
# ippeveprinter announces itself over DNS-SD and will not start without it: the system bus
# and avahi-daemon are started here when they are not running (which needs root), and
# stopped again at the end.
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time

from desktop import end_processes


class Unavailable(Exception):
    """The server cannot be set up here, and why."""


def _free_port():
    with socket.socket() as s:
        s.bind(('localhost', 0))
        return s.getsockname()[1]


def _wait(condition, timeout=20, step=0.1):
    end = time.time() + timeout
    while time.time() < end:
        if condition():
            return True
        time.sleep(step)
    return False


def _bus_alive():
    with socket.socket(socket.AF_UNIX) as s:
        try:
            s.connect('/run/dbus/system_bus_socket')
            return True
        except OSError:
            return False


def _running(name):
    return subprocess.run(['pgrep', '-x', name], capture_output=True).returncode == 0


class PrintServer:
    QUEUES = ('duplex', 'simplex')

    def __init__(self, backend=None):
        """`backend`: the backend "plyjoin" to install as the package does (the queue
        "Tavrell_PDF_Plyjoin" is added with add_plyjoin_queue); its users' runtime folders are
        in `runtime_root`."""
        self.backend = backend
        for program in ('cupsd', 'ippeveprinter', 'lpadmin', 'cupsenable', 'avahi-daemon', 'dbus-daemon'):
            if not shutil.which(program) and not os.path.exists('/usr/sbin/' + program):
                raise Unavailable('%s is not installed' % program)
        if os.geteuid() != 0:
            raise Unavailable('starting the system bus, avahi-daemon and cupsd needs root')
        self.folder = tempfile.mkdtemp(prefix='plyjoin-cups-')
        os.chmod(self.folder, 0o755)
        self.runtime_root = os.path.join(self.folder, 'run')
        os.mkdir(self.runtime_root, 0o755)
        self.processes = []
        self.started_bus = self.started_avahi = False
        try:
            self._start()
        except Exception:
            self.close()
            raise

    def _spawn(self, command, log):
        process = subprocess.Popen(command, stdout=open(os.path.join(self.folder, log), 'w'),
                                   stderr=subprocess.STDOUT, start_new_session=True)
        self.processes.append(process)
        return process

    def _start(self):
        # DNS-SD for the printers.
        if not _bus_alive():
            os.makedirs('/run/dbus', exist_ok=True)
            for stale in ('/run/dbus/pid', '/run/dbus/system_bus_socket'):
                if os.path.exists(stale):
                    os.remove(stale)
            subprocess.run(['dbus-daemon', '--system', '--fork'], check=True)
            self.started_bus = True
        if not _running('avahi-daemon'):
            subprocess.run(['avahi-daemon', '-D'], check=True)
            self.started_avahi = True
            _wait(lambda: _running('avahi-daemon'), 5)
        # The printers: each keeps the jobs it receives through its print command.
        self.printers = {}
        for queue, duplex in (('duplex', True), ('simplex', False)):
            port = _free_port()
            record = os.path.join(self.folder, 'received-' + queue)
            spool = os.path.join(self.folder, 'spool-' + queue)
            os.makedirs(record)
            os.makedirs(spool)
            script = os.path.join(self.folder, 'record-' + queue)
            # Numbered in turn under a lock, each file complete before it has its name: jobs
            # printed one right after another (backs and their blank sheet) are never taken for
            # one another or read half-written.
            with open(script, 'w') as f:
                f.write('#!/bin/sh\nexec 9>"{0}/.lock"\nflock 9\n'
                        'n=$(printf "%08d" "$(ls "{0}" | grep -c "^job.*pdf$")")\n'
                        'env | grep "^IPP_" | sort > "{0}/.job$n.env" && mv "{0}/.job$n.env" "{0}/job$n.env"\n'
                        'cp "$1" "{0}/.job$n.pdf" && mv "{0}/.job$n.pdf" "{0}/job$n.pdf"\n'.format(record))
            os.chmod(script, 0o755)
            command = ['ippeveprinter', '-p', str(port), '-c', script, '-d', spool, '-n', 'localhost',
                       '-f', 'application/pdf,image/pwg-raster,image/urf']
            if duplex:
                command.append('-2')
            self._spawn(command + ['plyjoin-test-%s-%d' % (queue, os.getpid())], 'ippeveprinter-%s.log' % queue)
            uri = 'ipp://localhost:%d/ipp/print' % port
            if not _wait(lambda: subprocess.run(['ipptool', '-q', uri, 'get-printer-attributes.test'],
                                                capture_output=True).returncode == 0):
                raise Unavailable('ippeveprinter did not start (see %s)' % self.folder)
            self.printers[queue] = (uri, record)
        # The scheduler, on a port of its own, with files of its own.
        self.port = _free_port()
        self.server = 'localhost:%d' % self.port
        conf = os.path.join(self.folder, 'conf')
        os.makedirs(conf)
        for d in ('spool', 'tmp', 'cache', 'state', 'log'):
            os.makedirs(os.path.join(self.folder, d))
            shutil.chown(os.path.join(self.folder, d), 'lp', 'lp')
        with open(os.path.join(conf, 'cupsd.conf'), 'w') as f:
            f.write('Listen localhost:%d\nLogLevel warn\nBrowsing No\nDefaultAuthType None\nWebInterface No\n'
                    '<Location />\n  Order allow,deny\n  Allow all\n</Location>\n'
                    '<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n' % self.port)
        # CUPS's programs, and the backend "plyjoin" as the package installs it (root's alone,
        # so that CUPS runs it as root).
        serverbin = os.path.join(self.folder, 'serverbin')
        os.makedirs(os.path.join(serverbin, 'backend'))
        for name in os.listdir('/usr/lib/cups'):
            if name != 'backend':
                os.symlink(os.path.join('/usr/lib/cups', name), os.path.join(serverbin, name))
        for name in os.listdir('/usr/lib/cups/backend'):
            os.symlink(os.path.join('/usr/lib/cups/backend', name), os.path.join(serverbin, 'backend', name))
        if self.backend:
            shutil.copy(self.backend, os.path.join(serverbin, 'backend', 'plyjoin'))
            os.chmod(os.path.join(serverbin, 'backend', 'plyjoin'), 0o700)
        with open(os.path.join(conf, 'cups-files.conf'), 'w') as f:
            f.write('ServerRoot %s\nRequestRoot %s/spool\nTempDir %s/tmp\nCacheDir %s/cache\nStateDir %s/state\n'
                    'ErrorLog %s/log/error_log\nAccessLog %s/log/access_log\nPageLog %s/log/page_log\n'
                    'ServerBin %s\nDataDir /usr/share/cups\nUser lp\nGroup lp\nSystemGroup root\n'
                    'SetEnv PLYJOIN_RUNTIME_ROOT %s\n'
                    % ((conf,) + (self.folder,) * 7 + (serverbin, self.runtime_root)))
        self._spawn(['cupsd', '-f', '-c', os.path.join(conf, 'cupsd.conf'), '-s', os.path.join(conf, 'cups-files.conf')],
                    'cupsd.log')
        if not _wait(lambda: b'is running' in subprocess.run(['lpstat', '-h', self.server, '-r'],
                                                             capture_output=True).stdout):
            raise Unavailable('cupsd did not start (see %s)' % self.folder)
        for queue, (uri, _) in self.printers.items():
            subprocess.run(['lpadmin', '-h', self.server, '-p', queue, '-E', '-v', uri, '-m', 'everywhere'], check=True)
        subprocess.run(['lpadmin', '-h', self.server, '-d', 'duplex'], check=True)

    def add_plyjoin_queue(self, ppd):
        """The machine's queue "Tavrell_PDF_Plyjoin", as the package makes it."""
        subprocess.run(['lpadmin', '-h', self.server, '-p', 'Tavrell_PDF_Plyjoin', '-D', 'Tavrell PDF Plyjoin',
                        '-v', 'plyjoin:/', '-P', ppd, '-E'], check=True, capture_output=True)

    def remove_queue(self, queue):
        subprocess.run(['lpadmin', '-h', self.server, '-x', queue], capture_output=True)

    @staticmethod
    def free_port():
        return _free_port()

    def received(self, queue, count, since=0, timeout=30):
        """The `count` jobs the queue's printer received after its first `since` (see
        received_count): (attributes, PDF path) each."""
        record = self.printers[queue][1]

        def jobs():
            names = sorted(f[:-4] for f in os.listdir(record) if f.startswith('job') and f.endswith('.pdf'))
            if len(names) < since + count:
                return None
            found = []
            for name in names[since:since + count]:
                env, pdf = os.path.join(record, name + '.env'), os.path.join(record, name + '.pdf')
                if not os.path.exists(env):
                    return None
                with open(env) as f:
                    found.append((dict(line.rstrip('\n').split('=', 1) for line in f if '=' in line), pdf))
            return found
        _wait(lambda: jobs() is not None, timeout)
        return jobs() or []

    def received_count(self, queue):
        return len([f for f in os.listdir(self.printers[queue][1]) if f.startswith('job') and f.endswith('.pdf')])

    def stop_queue(self, queue):
        subprocess.run(['cupsdisable', '-h', self.server, queue], check=True)

    def start_queue(self, queue):
        subprocess.run(['cupsenable', '-h', self.server, queue], check=True)
        subprocess.run(['cancel', '-h', self.server, '-a', queue], check=False)

    def close(self):
        end_processes(self.processes)
        if self.started_avahi:
            subprocess.run(['avahi-daemon', '-k'], capture_output=True)
        if self.started_bus:
            try:
                with open('/run/dbus/pid') as f:
                    os.kill(int(f.read().strip()), signal.SIGTERM)
            except (OSError, ValueError):
                pass
            _wait(lambda: not _bus_alive(), 5)
            for stale in ('/run/dbus/pid', '/run/dbus/system_bus_socket'):
                if os.path.exists(stale):
                    os.remove(stale)
        shutil.rmtree(self.folder, ignore_errors=True)
