# A desktop for tests that use the built program as a person does: an X server (Xvfb), a
# window manager (openbox), a session bus with the accessibility bus on it; the program's
# windows are found and read through AT-SPI and driven by real pointer and key events
# (xdotool, through the XTest extension), which pass the window system and its modality
# exactly as a person's do.
import os
import shutil
import signal
import subprocess
import tempfile
import time


def end_processes(processes, grace=10):
    """Ends processes started in sessions of their own, with what they started: asked first,
    the last started first, then killed if they linger."""
    for process in reversed(processes):
        try:
            os.killpg(process.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
    for process in processes:
        try:
            process.wait(grace)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)


class Desktop:
    """Xvfb, openbox and a session bus, started together and ended together."""

    def __init__(self, width=1280, height=1024, runtime_root=None):
        """`runtime_root`: the folder the users' runtime folders are in (as /run/user); the
        desktop's is USER-ID in it, the user's alone."""
        self.folder = tempfile.mkdtemp(prefix='plyjoin-desktop-')
        self.processes = []
        read_fd, write_fd = os.pipe()
        self._start(['Xvfb', '-displayfd', str(write_fd), '-screen', '0', f'{width}x{height}x24',
                     '-nolisten', 'tcp', '-noreset'], pass_fds=(write_fd,))
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError('Xvfb did not start')
        if not runtime_root:
            runtime_root = os.path.join(self.folder, 'run')
            os.mkdir(runtime_root, 0o755)
        runtime = os.path.join(runtime_root, str(os.getuid()))
        os.mkdir(runtime, 0o700)
        self.runtime = runtime
        self.env = dict(os.environ, DISPLAY=':' + number, XDG_RUNTIME_DIR=runtime)
        for name in ('WAYLAND_DISPLAY', 'QT_QPA_PLATFORM', 'DBUS_SESSION_BUS_ADDRESS', 'SESSION_MANAGER'):
            self.env.pop(name, None)
        bus = self._start(['dbus-daemon', '--session', '--nofork', '--print-address=1'],
                          stdout=subprocess.PIPE, text=True, env=self.env)
        self.env['DBUS_SESSION_BUS_ADDRESS'] = bus.stdout.readline().strip()
        bus.stdout.close()
        self._start(['openbox', '--config-file', self._openbox_config()], env=self.env, stderr=subprocess.DEVNULL)
        # The window manager has taken the screen when it names itself on the root window.
        if not self.wait(lambda: b'window id' in subprocess.run(
                ['xprop', '-root', '_NET_SUPPORTING_WM_CHECK'], env=self.env, capture_output=True).stdout, 10):
            raise RuntimeError('openbox did not start')
        # AT-SPI is read in this process: it must find this desktop's bus.
        os.environ['DISPLAY'] = self.env['DISPLAY']
        os.environ['DBUS_SESSION_BUS_ADDRESS'] = self.env['DBUS_SESSION_BUS_ADDRESS']
        os.environ['XDG_RUNTIME_DIR'] = runtime

    def _start(self, command, **kwargs):
        process = subprocess.Popen(command, start_new_session=True, **kwargs)
        self.processes.append(process)
        return process

    def _openbox_config(self):
        # The defaults that matter here, written out: new windows get the focus, Alt+F4 closes.
        path = os.path.join(self.folder, 'rc.xml')
        with open(path, 'w') as f:
            f.write('<?xml version="1.0"?>\n'
                    '<openbox_config xmlns="http://openbox.org/3.4/rc">\n'
                    ' <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>\n'
                    ' <placement><policy>Smart</policy></placement>\n'
                    ' <keyboard><keybind key="A-F4"><action name="Close"/></keybind></keyboard>\n'
                    '</openbox_config>\n')
        return path

    def close(self):
        end_processes(self.processes)
        # What the session bus started for itself (the accessibility bus and its registry)
        # names this desktop's runtime folder.
        subprocess.run(['pkill', '-f', self.env['XDG_RUNTIME_DIR']], check=False)
        subprocess.run(['pkill', '-f', 'at-spi.*' + self.env['DBUS_SESSION_BUS_ADDRESS'].split(',')[0]],
                       check=False)
        shutil.rmtree(self.folder, ignore_errors=True)

    def xdotool(self, *args, check=True):
        result = subprocess.run(['xdotool', *args], env=self.env, capture_output=True, text=True)
        if check and result.returncode != 0:
            raise RuntimeError('xdotool %s: %s' % (' '.join(args), result.stderr.strip()))
        return result.stdout.strip() if result.returncode == 0 else None

    @staticmethod
    def wait(condition, timeout=15, step=0.05):
        """The condition's first true value, or None after the timeout."""
        end = time.time() + timeout
        while True:
            value = condition()
            if value:
                return value
            if time.time() > end:
                return None
            time.sleep(step)

    # Real input: the pointer and the keyboard of the X server.
    def move_to(self, x, y):
        # xdotool's --sync waits for the pointer to move, which it never does where it is.
        where = dict(w.split(':') for w in self.xdotool('getmouselocation', check=False).split() if ':' in w)
        if (where.get('x'), where.get('y')) != (str(int(x)), str(int(y))):
            self.xdotool('mousemove', '--sync', str(int(x)), str(int(y)))
        time.sleep(0.05)

    def click_at(self, x, y, button=1):
        self.move_to(x, y)
        self.xdotool('click', str(button))

    def double_click_at(self, x, y):
        self.move_to(x, y)
        self.xdotool('click', '--repeat', '2', '--delay', '80', '1')

    def key(self, *keys):
        for k in keys:
            self.xdotool('key', '--clearmodifiers', k)
            time.sleep(0.05)

    def type(self, text):
        self.xdotool('type', '--delay', '30', text)

    def active_window_name(self):
        return self.xdotool('getactivewindow', 'getwindowname', check=False)

    def screenshot(self, path):
        """The whole screen as a PNG (for a person to look at when a step fails)."""
        xwd = subprocess.run(['xwd', '-root', '-silent'], env=self.env, capture_output=True)
        if xwd.returncode == 0 and shutil.which('xwdtopnm') and shutil.which('pnmtopng'):
            pnm = subprocess.run(['xwdtopnm'], input=xwd.stdout, capture_output=True)
            with open(path, 'wb') as f:
                f.write(subprocess.run(['pnmtopng'], input=pnm.stdout, capture_output=True).stdout)


class Program:
    """One run of the built program on the desktop, read through AT-SPI."""

    def __init__(self, desktop, command, env=None, cwd=None):
        import pyatspi  # after the desktop set the bus it reads
        self.pyatspi = pyatspi
        self.desktop = desktop
        full_env = dict(desktop.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', QT_QPA_PLATFORM='xcb',
                        QT_ACCESSIBILITY='1')
        full_env.update(env or {})
        self.log = tempfile.TemporaryFile()
        self.process = subprocess.Popen(command, env=full_env, cwd=cwd, stdout=self.log,
                                        stderr=subprocess.STDOUT, start_new_session=True)
        self.app = desktop.wait(self._application, 20)
        if self.app is None:
            self.stop()
            raise RuntimeError('the program did not appear on the accessibility bus')

    def _application(self):
        registry_desktop = self.pyatspi.Registry.getDesktop(0)
        for i in range(registry_desktop.childCount):
            app = registry_desktop.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == self.process.pid:
                    return app
            except Exception:
                continue
        return None

    @classmethod
    def attach(cls, desktop, name, timeout=20, exclude=()):
        """A program someone else started, found on the accessibility bus by its name."""
        import pyatspi
        program = cls.__new__(cls)
        program.pyatspi = pyatspi
        program.desktop = desktop
        program.log = tempfile.TemporaryFile()
        program.process = None

        def look():
            registry_desktop = pyatspi.Registry.getDesktop(0)
            for i in range(registry_desktop.childCount):
                app = registry_desktop.getChildAtIndex(i)
                try:
                    if app is not None and app.name == name and app.get_process_id() not in exclude:
                        return app
                except Exception:
                    continue
            return None
        program.app = desktop.wait(look, timeout)
        return program if program.app is not None else None

    def pid(self):
        return self.process.pid if self.process else self.app.get_process_id()

    def stop(self):
        if self.process is None:
            try:
                os.kill(self.pid(), signal.SIGTERM)
                self.desktop.wait(lambda: not os.path.exists('/proc/%d' % self.pid()), 10)
            except (OSError, Exception):
                pass
            self.log.close()
            return
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
        self.log.close()

    def output(self):
        """What the program wrote on its standard output and error so far."""
        self.log.seek(0)
        return self.log.read().decode(errors='replace')

    def alive(self):
        if self.process is None:
            return os.path.exists('/proc/%d' % self.pid())
        return self.process.poll() is None

    # Reading the windows.
    def windows(self):
        self.app.clear_cache()
        return [self.app.getChildAtIndex(i) for i in range(self.app.childCount)]

    def window(self, name_start, timeout=15):
        """The top-level window whose name begins with `name_start`."""
        return self.desktop.wait(lambda: next(
            (w for w in self.windows() if w is not None and (w.name or '').startswith(name_start)), None), timeout)

    def find(self, role, name, within=None, timeout=15, showing=True, described=None):
        """The first accessible of the role whose name is `name` (or matches it, if callable),
        or, with `described`, whose description is that (a combo box's name on this desktop
        is its value)."""
        def matches(acc):
            if described is not None:
                return acc.description == described
            return name(acc.name) if callable(name) else acc.name == name

        def look():
            roots = [within] if within is not None else self.windows()
            for root in roots:
                if root is None:
                    continue
                root.clear_cache()
                for acc in _walk(root):
                    try:
                        if acc.getRoleName() == role and matches(acc) and (
                                not showing or acc.getState().contains(self.pyatspi.STATE_SHOWING)):
                            return acc
                    except Exception:
                        continue
            return None
        found = self.desktop.wait(look, timeout)
        if found is None:
            raise AssertionError('no %s %s' % (role, 'described as %r' % described if described is not None
                                               else 'named %r' % (name,)))
        return found

    def centre(self, acc):
        e = acc.queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS)
        return e.x + e.width // 2, e.y + e.height // 2

    def click(self, acc, button=1):
        self.desktop.click_at(*self.centre(acc), button=button)

    def text_of(self, acc):
        acc.clear_cache()
        try:
            text = acc.queryText()
            return text.getText(0, text.characterCount)
        except NotImplementedError:
            return acc.name

    def checked(self, acc):
        acc.clear_cache()
        return acc.getState().contains(self.pyatspi.STATE_CHECKED)

    def enabled(self, acc):
        acc.clear_cache()
        return acc.getState().contains(self.pyatspi.STATE_ENABLED)

    def focused(self, within, timeout=5):
        """The name of the accessible that has the keyboard focus."""
        def look():
            within.clear_cache()
            for acc in _walk(within):
                try:
                    # A table's cells keep their mark while the table itself has lost the focus.
                    if acc.getRoleName() == 'table cell' and not acc.parent.getState().contains(self.pyatspi.STATE_FOCUSED):
                        continue
                    if acc.getState().contains(self.pyatspi.STATE_FOCUSED) and acc is not within:
                        return self.said(acc)
                except Exception:
                    continue
            return None
        return self.desktop.wait(look, timeout)

    def said(self, acc):
        """What names a control to a screen reader: its name; for a combo box, whose name on this
        desktop is its value, its description, else the label it is labelled by."""
        if acc.getRoleName() == 'combo box':
            if acc.description:
                return acc.description
            for relation in acc.getRelationSet():
                if relation.getRelationType() == self.pyatspi.RELATION_LABELLED_BY:
                    return relation.getTarget(0).name
            return acc.name
        return acc.name or '<%s>' % acc.getRoleName()

    def active(self, window):
        window.clear_cache()
        return window.getState().contains(self.pyatspi.STATE_ACTIVE)


def _walk(acc):
    yield acc
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            yield from _walk(child)
