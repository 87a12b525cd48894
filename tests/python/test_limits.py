"""Hostile sizes: sequences that lie about their length, exhausted memory, deep values."""
import itertools
import os
import subprocess
import sys
import textwrap

import pytest

import quor_graph._rust as native
from conftest import UNDER_ASAN, build
from quor_graph._rust import knowledge as K
from quor_graph._rust.graph import PyGraph

CAP = 67108864
NO_CAP = 2**64 - 1


class Claims:
    """A sequence that reports `length` items (or raises it) and yields those of `items`."""

    def __init__(self, length, items):
        self.length, self.items = length, items

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return self.length

    def __getitem__(self, i):
        raise AssertionError("read by iteration only")

    def __iter__(self):
        return iter(self.items)


def then_fail(items):
    yield items[0]
    raise KeyError("boom")


def setstate(state):
    g = PyGraph()
    g.__setstate__(state)
    return g.node_ids()


READS = [
    (lambda s: build(nodes="a").subgraph(s).node_ids(), ["a"], ["a"]),
    (lambda s: [e[:2] for e in K.from_triples(s).edges()], [type("T", (tuple,), {})("apb")], [("a", "b")]),
    (setstate, list(build(nodes="a").__getstate__()), ["a"]),
]


@pytest.mark.parametrize("read, items, expected", READS)
def test_sequences_are_read_item_by_item_without_trusting_their_length(read, items, expected):
    assert read(Claims(2**62, items)) == expected
    # A TypeError of __len__ means no length; an error of the iteration passes through.
    with pytest.raises(KeyError, match="boom"):
        read(Claims(TypeError("no length"), then_fail(items)))


@pytest.mark.parametrize("error", [KeyboardInterrupt, SystemExit, MemoryError, RuntimeError])
@pytest.mark.parametrize("read, items, expected", READS)
def test_other_errors_of_len_end_the_call(read, items, expected, error):
    with pytest.raises(error, match="^from __len__$"):
        read(Claims(error("from __len__"), items))


@pytest.mark.parametrize("kind", [bytes, bytearray])
def test_setstate_refuses_a_buffer_past_the_cap_unread(kind):
    with pytest.raises(ValueError, match=f"^quor-graph pickle payload is {CAP + 1} bytes; refusing"):
        PyGraph().__setstate__(kind(CAP + 1))


def test_setstate_stops_reading_one_item_past_the_cap():
    items = itertools.repeat(0, CAP + 1000)
    with pytest.raises(ValueError, match=f"^quor-graph pickle payload is {CAP + 1} bytes; refusing"):
        PyGraph().__setstate__(Claims(0, items))
    assert items.__length_hint__() == 999


@pytest.mark.skipif(UNDER_ASAN,
                    reason="the sanitizer's allocator aborts where malloc would fail")
def test_out_of_memory_is_a_memory_error_and_changes_nothing():
    # The reader sizes the edge list from the text left (about 23 MB here);
    # the address space allows 8 MB more than the child holds.
    child = textwrap.dedent("""
        import resource
        from quor_graph._rust.graph import PyGraph
        g = PyGraph()
        g.add_node("kept")
        state = (b'QGR1{"directed":true,"multi":false,"name":"","nodes":[],"edges":['
                 + b" " * 60_000_000 + b"]}")
        size = int(open("/proc/self/statm").read().split()[0]) * resource.getpagesize()
        hard = resource.getrlimit(resource.RLIMIT_AS)[1]
        resource.setrlimit(resource.RLIMIT_AS, (size + 8 * 2**20, hard))
        try:
            g.__setstate__(state)
        except MemoryError:
            print(g.node_ids())
    """)
    pkg = os.path.dirname(os.path.dirname(native.__file__))
    done = subprocess.run([sys.executable, "-P", "-c", child], env=dict(os.environ, PYTHONPATH=pkg),
                          capture_output=True, text=True, timeout=60)
    assert done.stdout == "['kept']\n", done.stderr


def test_one_nesting_limit_for_values_read_and_values_stored():
    def doc(levels):
        value = "[" * levels + "]" * levels
        return ('{"directed":true,"name":"","nodes":[{"id":"a","properties":{"v":%s}}],'
                '"edges":[]}' % value)

    g = PyGraph.from_json(doc(123), NO_CAP, NO_CAP, NO_CAP)
    deepest = g.node("a")["v"]
    g.set_node_property("a", "w", deepest)
    g.add_node("b", {"v": deepest})
    assert g.node("b")["v"] == g.node("a")["w"] == deepest
    with pytest.raises(ValueError, match="^recursion limit exceeded at line 1 column"):
        PyGraph.from_json(doc(124), NO_CAP, NO_CAP, NO_CAP)
    loop, cycle = [], {}
    loop.append(loop)
    cycle["d"] = cycle
    for value in ([deepest], loop, cycle):
        with pytest.raises(ValueError, match="^Property value is nested more than 123 levels deep"):
            g.add_node("c", {"v": value})
    assert not g.has_node("c")


def test_setstate_trusts_no_reported_length():
    g = PyGraph()
    g.add_node("a")
    h = PyGraph()
    h.__setstate__(Claims(2**62, iter(g.__getstate__())))
    assert h.node_ids() == ["a"]
    with pytest.raises(OverflowError):  # item 256 of the range, long before its end
        h.__setstate__(range(2**62))
    assert h.node_ids() == ["a"]


def test_values_read_back_can_be_stored_again():
    def doc(levels):
        value = "[" * levels + "]" * levels
        return ('{"directed":true,"name":"","nodes":[{"id":"a","properties":{"v":%s}}],'
                '"edges":[]}' % value)

    g = PyGraph.from_json(doc(123), NO_CAP, NO_CAP, NO_CAP)
    deepest = g.node("a")["v"]
    g.set_node_property("a", "w", deepest)
    g.add_node("b", {"v": deepest})
    assert g.node("b")["v"] == g.node("a")["w"] == deepest
    with pytest.raises(ValueError, match="^recursion limit exceeded at line 1 column"):
        PyGraph.from_json(doc(124), NO_CAP, NO_CAP, NO_CAP)
    with pytest.raises(ValueError, match="^Property value is nested more than 123 levels deep"):
        g.add_node("c", {"v": [deepest]})
    assert not g.has_node("c")
