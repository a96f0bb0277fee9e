"""Which build the scripts drive: the Linux programs, or the Windows programs
under Wine. The demo, the end-to-end tests and the export and import
benchmarks share it.

For the Windows build the programs are the .exe files of the bin folder,
started through wine in the prefix WINEPREFIX names; paths are handed to them
on Wine's drive Z: (which shows /), and pipe names get a prefix instead of a
folder."""

import os
import signal
import subprocess

WINDOWS = False


def use_windows(windows=True):
    """Selects the Windows build (or the Linux one again)."""
    global WINDOWS
    WINDOWS = windows


def program(bin_dir, name):
    """The built program `name` in `bin_dir`; a name with a suffix (a
    library) is taken as it is."""
    suffix = ".exe" if WINDOWS and "." not in name else ""
    return os.path.join(bin_dir, name + suffix)


def command(bin_dir, name, *arguments):
    """The argument list that starts the built program `name`."""
    return (["wine"] if WINDOWS else []) + [program(bin_dir, name)] + list(arguments)


def library(name):
    """A library's file name as the import loads it."""
    return name + (".dll" if WINDOWS else ".so")


def native(path):
    """A path as the programs name it: on Windows the Linux path as Wine's
    drive Z: shows it, a trailing separator kept."""
    if not WINDOWS:
        return path
    return "Z:" + os.path.abspath(path).replace("/", "\\") + ("\\" if path.endswith("/") else "")


def from_native(path):
    """The Linux path of a path a program named."""
    if WINDOWS and path[:2].upper() == "Z:":
        return path[2:].replace("\\", "/")
    return path


def pipe_namespace(folder):
    """What BASTIONEL_PIPE_DIR holds for pipes kept apart by `folder`: the
    folder itself on Linux; on Windows, where pipe names are global inside
    the Wine prefix, the folder's name with "-" as a prefix of pipe names."""
    if WINDOWS:
        return os.path.basename(os.path.normpath(folder)) + "-"
    return folder


def environment(base, pipes, registry=None):
    """`base` with the pipe namespace of the folder `pipes` (pipe_namespace)
    and the registry file of one installation."""
    env = dict(base, BASTIONEL_PIPE_DIR=pipe_namespace(pipes))
    if registry is not None:
        env["BASTIONEL_REGISTRY"] = native(registry)
    if WINDOWS:
        env.update(WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    return env


# Wine makes a SIGINT the console's Ctrl+C, which a Windows service takes as
# its stop request; the Linux services stop at SIGTERM.
def stop_signal():
    return signal.SIGINT if WINDOWS else signal.SIGTERM


def start_wine():
    """Starts a persistent wine server for the prefix (unless one runs) and
    the prefix's own processes (the desktop, the services) with it, with no
    output of the caller's to hold: started by a program the caller runs,
    they would keep its output pipes open after it ended, and the caller
    would wait for them. wineserver -k ends them all."""
    if not WINDOWS:
        return
    if not os.environ.get("WINEPREFIX"):
        raise SystemExit("the Windows build runs under Wine: set WINEPREFIX to its prefix")
    for argv in (["wineserver", "-p"], ["wine", "cmd", "/c", "exit"]):
        subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
