"""Ctrl-C ends long native calls, and file loads let other threads run.

A SIGALRM handled as Ctrl-C (signal.default_int_handler) stands for the
user's SIGINT: both reach the module through the interpreter's signal check.
"""
import contextlib
import os
import signal
import threading

import pytest

from conftest import multipartite
from quor_graph._rust import algorithms as A, rdf as R

TRIPLE = b"<http://e/s> <http://e/p> <http://e/o> .\n"


@contextlib.contextmanager
def alarm_after(seconds, handler=signal.default_int_handler):
    previous = signal.signal(signal.SIGALRM, handler)
    signal.setitimer(signal.ITIMER_REAL, seconds)
    try:
        yield
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)


@contextlib.contextmanager
def fifo_fed_by_thread(path, data, endless=False):
    """A FIFO that a thread of this process writes `data` into (again and again)."""
    path = str(path)
    os.mkfifo(path)

    def write():
        with contextlib.suppress(BrokenPipeError), open(path, "wb") as f:
            f.write(data)
            while endless:
                f.write(data)

    writer = threading.Thread(target=write, daemon=True)
    writer.start()
    try:
        yield path
    finally:
        os.close(os.open(path, os.O_RDONLY | os.O_NONBLOCK))  # frees a writer waiting to open
        writer.join(5)


@contextlib.contextmanager
def watchdog(seconds=120):
    """Ends the run loudly if a call that should be interrupted never is (a
    native loop that does not poll cannot be stopped from Python)."""
    done = threading.Event()

    def bark():
        if not done.wait(seconds):
            os.write(2, b"\ntest_interrupts: a call was not interrupted\n")
            os._exit(3)

    threading.Thread(target=bark, daemon=True).start()
    try:
        yield
    finally:
        done.set()


def interrupted(call):
    """Runs a call that would never end and sends it Ctrl-C after 50 ms:
    reaching the KeyboardInterrupt proves the call polled."""
    with watchdog(), pytest.raises(KeyboardInterrupt) as caught, alarm_after(0.05):
        call()
    assert caught.value.__context__ is None  # raised by the call, not after another error


# Calls without end unless interrupted (which loops poll is pinned in the
# core tests; here: the signal reaches them, attached or detached).
CALLS = {
    "pagerank": lambda g: A.pagerank(g, 0.85, 2**62),
    "eigenvector_centrality": lambda g: A.eigenvector_centrality(g, 2**62, 0.0),
}


@pytest.mark.parametrize("name", CALLS)
def test_ctrl_c_stops_a_long_call_and_leaves_its_input(name):
    g = multipartite(4)
    before = g.to_json()
    interrupted(lambda: CALLS[name](g))
    assert g.to_json() == before


def test_ctrl_c_stops_a_file_load_reading_or_waiting(tmp_path):
    with fifo_fed_by_thread(tmp_path / "feed.nt", TRIPLE * 10_000, endless=True) as feed:
        interrupted(lambda: R.load_rdf_file(feed, 2**64 - 1, 2**64 - 1))
    lonely = str(tmp_path / "nobody_writes.nt")
    os.mkfifo(lonely)
    interrupted(lambda: R.load_rdf_file(lonely, 100, 100))


def deadlocked(*_):
    raise TimeoutError("the load and the writer thread waited for each other")


def test_fifo_fed_by_this_process_loads_under_the_byte_cap(tmp_path):
    # The load lets the writer thread run; the cap counts the bytes that arrive.
    with alarm_after(10, deadlocked):
        with fifo_fed_by_thread(tmp_path / "all.nt", TRIPLE * 10_000) as feed:
            assert R.load_rdf_file(feed, 2**30, 2**30)[0].n_edges == 10_000
        with fifo_fed_by_thread(tmp_path / "capped.nt", TRIPLE * 10_000) as feed, pytest.raises(
                ValueError, match=r"^RDF file is 101 bytes; refusing to load above 100 bytes "):
            R.load_rdf_file(feed, 100, 2**30)
