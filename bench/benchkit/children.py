"""Programs the bench runs beside itself. Each is stopped when the bench is done
with it, and killed by the kernel should the bench itself die first."""

import ctypes
import os
import select
import signal
import subprocess
import time

_PR_SET_PDEATHSIG = 1
_libc = ctypes.CDLL(None, use_errno=True)

# A program that ignores SIGTERM this long is killed.
_STOP_GRACE_S = 5


def _die_with_the_bench():
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


class Children:
    """Starts programs and, when closed, stops those still running, newest
    first."""

    def __init__(self):
        self._running = []

    def __enter__(self):
        return self

    def __exit__(self, *_):
        for child in reversed(self._running[:]):
            self.stop(child)

    def start(self, argv, *, output, env=None, cwd=None, pipe_stdout=False, pass_fds=()):
        """Runs argv with the bench's environment plus env, standard input from
        /dev/null, standard error (and standard output unless piped) appended
        to the file output, and the descriptors pass_fds left open."""
        environment = dict(os.environ)
        environment.update(env or {})
        with open(output, "ab") as log:
            child = subprocess.Popen(
                argv,
                env=environment,
                cwd=cwd,
                stdin=subprocess.DEVNULL,
                stdout=subprocess.PIPE if pipe_stdout else log,
                stderr=log,
                pass_fds=pass_fds,
                preexec_fn=_die_with_the_bench,
            )
        self._running.append(child)
        return child

    def stop(self, child):
        if child in self._running:
            self._running.remove(child)
        if child.poll() is None:
            child.terminate()
            try:
                child.wait(_STOP_GRACE_S)
            except subprocess.TimeoutExpired:
                child.kill()
                child.wait()
        if child.stdout is not None:
            child.stdout.close()


def read_line(child, timeout_s):
    """The next line the child writes on its piped standard output, without its
    line end; raises when none comes in time."""
    deadline = time.monotonic() + timeout_s
    line = b""
    while not line.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([child.stdout], [], [], left)[0]:
            raise RuntimeError(f"{child.args[0]} said nothing within {timeout_s} s")
        byte = os.read(child.stdout.fileno(), 1)
        if not byte:
            raise RuntimeError(f"{child.args[0]} ended")
        line += byte
    return line.decode().rstrip("\n")


def wait_for(condition, timeout_s, what, every_s=0.0005):
    """Polls condition until it gives something true, and returns that."""
    deadline = time.monotonic() + timeout_s
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise RuntimeError(f"timed out after {timeout_s} s waiting for {what}")
        time.sleep(every_s)
