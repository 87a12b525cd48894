"""Ctrl-C ends long native calls, and file loads let other threads run.

A SIGALRM handled as Ctrl-C (signal.default_int_handler) stands for the
user's SIGINT: both reach the module through the interpreter's signal check.
"""
import contextlib
import os
import signal
import threading
import time

import pytest

from conftest import build, multipartite
from quor_graph._rust import algorithms as A, knowledge as K, rdf as R
from quor_graph._rust.graph import PyGraph

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


def nested_values_json(records):
    head = '{"directed":true,"name":"","nodes":[{"id":"a","properties":{}}],"edges":['
    return head + '["a","a",{"w":[[[[[[[[]]]]]]]]}],' * records + '["a","a",{}]]}'


# Each call runs for seconds (3^10 cliques; 32 million closure edges; an
# 80 MB document of nested values) or without end, unless interrupted.
CALLS = {
    "k_clique_communities": (lambda: multipartite(10), lambda g: A.k_clique_communities(g, 3)),
    "pagerank": (lambda: multipartite(3), lambda g: A.pagerank(g, 0.85, 10**8)),
    "densify": (lambda: build(edges=[(str(i), str(i + 1), {"predicate": "p"}) for i in range(7999)]),
                lambda g: K.densify(g, "p")),
    "from_json": (lambda: nested_values_json(2_500_000),
                  lambda text: PyGraph.from_json(text, 2**64 - 1, 2**64 - 1, 2**64 - 1)),
}


def interrupted(call):
    """Seconds until call() ended by the Ctrl-C sent 50 ms into it."""
    start = time.perf_counter()
    try:
        with alarm_after(0.05):
            call()
    except KeyboardInterrupt as e:
        assert e.__context__ is None  # raised by the call, not after another error
        return time.perf_counter() - start
    pytest.fail("the call ended before the signal")


@pytest.mark.parametrize("name", CALLS)
def test_ctrl_c_stops_a_long_call_and_leaves_its_input(name):
    make, call = CALLS[name]
    given = make()
    before = given.to_json() if isinstance(given, PyGraph) else given
    assert interrupted(lambda: call(given)) < 1.0
    assert (given.to_json() if isinstance(given, PyGraph) else given) == before


def test_ctrl_c_stops_a_file_load_reading_or_waiting(tmp_path):
    with fifo_fed_by_thread(tmp_path / "feed.nt", TRIPLE * 10_000, endless=True) as feed:
        assert interrupted(lambda: R.load_rdf_file(feed, 2**64 - 1, 2**64 - 1)) < 1.0
    lonely = str(tmp_path / "nobody_writes.nt")
    os.mkfifo(lonely)
    assert interrupted(lambda: R.load_rdf_file(lonely, 100, 100)) < 1.0


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
