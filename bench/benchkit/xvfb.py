"""A private X server, for the program as a desktop runs it: there the server
does part of the drawing (it receives the repainted pixels and copies them into
the screen), and its CPU is part of what the program costs."""

import os
import select

_START_TIMEOUT_S = 30


def start_xvfb(children, output, wrapper=()):
    """Starts Xvfb (under wrapper, when given) and returns the child and its
    display name, ":N", once it accepts clients."""
    read_end, write_end = os.pipe()
    try:
        server = children.start(
            [*wrapper, "Xvfb", "-displayfd", str(write_end), "-screen", "0", "800x600x24",
             "-nolisten", "tcp"],
            output=output, pass_fds=(write_end,))
        os.close(write_end)
        write_end = None
        number = b""
        while not number.endswith(b"\n"):
            if not select.select([read_end], [], [], _START_TIMEOUT_S)[0]:
                raise RuntimeError(f"Xvfb gave no display within {_START_TIMEOUT_S} s")
            byte = os.read(read_end, 1)
            if not byte:
                raise RuntimeError(f"Xvfb ended; see {output}")
            number += byte
    finally:
        os.close(read_end)
        if write_end is not None:
            os.close(write_end)
    return server, ":" + number.decode().strip()
