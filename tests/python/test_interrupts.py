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

from quor_graph._rust import algorithms as A, knowledge as K, rdf as R
from quor_graph._rust.graph import PyGraph

TRIPLE = b"<http://e/s> <http://e/p> <http://e/o> .\n"


@contextlib.contextmanager
def ctrl_c_after(seconds):
    previous = signal.signal(signal.SIGALRM, signal.default_int_handler)
    signal.setitimer(signal.ITIMER_REAL, seconds)
    try:
        yield
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)


@contextlib.contextmanager
def fifo_fed_by_thread(tmp_path, data, endless=False):
    """A FIFO that a thread of this process writes `data` into (again and again)."""
    path = str(tmp_path / "feed.nt")
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


def graph(nodes, edges, directed=True):
    g = PyGraph(directed=directed)
    for v in nodes:
        g.add_node(str(v))
    for u, v in edges:
        g.add_edge(str(u), str(v), {"predicate": "p"})
    return g


def multipartite(parts):  # parts of 3 nodes, each joined to every other part: 3^parts cliques
    return graph(range(3 * parts), [(u, v) for u in range(3 * parts)
                                    for v in range(u + 1, 3 * parts) if u // 3 != v // 3], False)


def nested_values_json(records):
    head = '{"directed":true,"name":"","nodes":[{"id":"a","properties":{}}],"edges":['
    return head + '["a","a",{"w":[[[[[[[[]]]]]]]]}],' * records + '["a","a",{}]]}'


# Each call runs for seconds (3^10 cliques; 32 million closure edges; an
# 80 MB document of nested values) or without end, unless interrupted.
CALLS = {
    "k_clique_communities": (lambda: multipartite(10), lambda g: A.k_clique_communities(g, 3)),
    "pagerank": (lambda: multipartite(3), lambda g: A.pagerank(g, 0.85, 10**8)),
    "densify": (lambda: graph(range(8000), zip(range(7999), range(1, 8000))),
                lambda g: K.densify(g, "p")),
    "from_json": (lambda: nested_values_json(2_500_000),
                  lambda text: PyGraph.from_json(text, 2**64 - 1, 2**64 - 1, 2**64 - 1)),
}


def interrupted(call):
    """Seconds until call() ended by the Ctrl-C sent 50 ms into it."""
    start = time.perf_counter()
    try:
        with ctrl_c_after(0.05):
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
    with fifo_fed_by_thread(tmp_path, TRIPLE * 10_000, endless=True) as feed:
        assert interrupted(lambda: R.load_rdf_file(feed, 2**64 - 1, 2**64 - 1)) < 1.0
    lonely = str(tmp_path / "nobody_writes.nt")
    os.mkfifo(lonely)
    assert interrupted(lambda: R.load_rdf_file(lonely, 100, 100)) < 1.0


@pytest.mark.parametrize("max_bytes, outcome", [
    (2**30, 10_000),
    (100, "RDF file is 101 bytes; refusing to load above 100 bytes "
          "(raise QuorGraphSettings.max_bytes if intended)."),
])
def test_fifo_fed_by_this_process_loads_under_the_byte_cap(tmp_path, max_bytes, outcome):
    # The load lets the writer thread run; the cap counts the bytes that arrive.
    try:
        with fifo_fed_by_thread(tmp_path, TRIPLE * 10_000) as feed, ctrl_c_after(10):
            if isinstance(outcome, str):
                with pytest.raises(ValueError) as refused:
                    R.load_rdf_file(feed, max_bytes, 2**30)
                assert str(refused.value) == outcome
            else:
                g, stats = R.load_rdf_file(feed, max_bytes, 2**30)
                assert stats["total_triples"] == g.n_edges == outcome
    except KeyboardInterrupt:
        pytest.fail("the load and the writer thread waited for each other")
