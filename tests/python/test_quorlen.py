"""The Python module as a user calls it: every buffer kind, refused inputs, the Reader,
and the GIL released while the library works."""
import array
import mmap
import os
import threading
import time

import pytest
import quorlen

SAMPLE = b"".join(b"line %d of a sample, abracadabra\n" % (i % 97) for i in range(3000))


def test_version_is_the_projects():
    assert quorlen.__version__ == os.environ["QUORLEN_EXPECTED_VERSION"]


def mapped(data):
    mapping = mmap.mmap(-1, len(data))
    mapping.write(data)
    return mapping


@pytest.mark.parametrize("wrap", [bytes, bytearray, lambda b: memoryview(b"xx" + b)[2:], mapped,
                                  lambda b: array.array("B", b)])
def test_round_trip_through_every_buffer_kind(wrap):
    stream = quorlen.compress(wrap(SAMPLE))
    assert isinstance(stream, bytes) and len(stream) < len(SAMPLE) // 4
    assert quorlen.decompress(wrap(stream)) == SAMPLE
    assert quorlen.Reader(wrap(stream))[100:200] == SAMPLE[100:200]
    assert quorlen.compress(b"") == b"" and quorlen.decompress(b"") == b""


def test_objects_without_contiguous_bytes_are_refused():
    with pytest.raises(TypeError):
        quorlen.compress("text is not bytes")
    with pytest.raises(BufferError):
        quorlen.compress(memoryview(SAMPLE)[::2])


def test_corrupt_stream_raises_error_a_value_error():
    damaged = quorlen.compress(SAMPLE) + b"\xff"
    for call in (quorlen.decompress, quorlen.Reader):
        with pytest.raises(quorlen.Error) as raised:
            call(damaged)
        assert isinstance(raised.value, ValueError) and str(raised.value)


def test_too_large_input_raises_error(tmp_path):
    path = tmp_path / "sparse"
    with open(path, "wb") as file:
        file.truncate(2**31 - 512)  # the smallest size refused; sparse, so it costs no disk
    with open(path, "rb") as file, mmap.mmap(file.fileno(), 0, access=mmap.ACCESS_READ) as mapped:
        with pytest.raises(quorlen.Error, match="too large"):
            quorlen.compress(mapped)


def test_reader_reads_like_slicing_the_restored_bytes():
    data = bytearray(quorlen.compress(SAMPLE))
    reader = quorlen.Reader(data)
    data[:] = b""  # the Reader keeps what it needs
    assert len(reader) == len(SAMPLE)
    assert reader.read(1234, 500) == SAMPLE[1234:1734]
    assert reader.read(len(SAMPLE) - 5, 100) == SAMPLE[-5:]
    assert reader.read(len(SAMPLE) + 5, 100) == b""
    for a, b in [(0, 10), (-50, None), (None, None), (500, 100), (-10**12, 10**12)]:
        assert reader[a:b] == SAMPLE[a:b]
    assert reader[7] == SAMPLE[7] and reader[-1] == SAMPLE[-1]
    with pytest.raises(IndexError):
        reader[len(SAMPLE)]
    with pytest.raises(ValueError):
        reader.read(-1, 10)


def test_gil_is_released_while_compressing():
    big = os.urandom(1 << 18)
    finished = threading.Event()
    gaps = []

    def work():
        quorlen.compress(big)
        finished.set()

    worker = threading.Thread(target=work)
    start = last = time.monotonic()
    worker.start()
    while not finished.is_set():
        now = time.monotonic()
        gaps.append(now - last)
        last = now
        time.sleep(0.001)
    worker.join()
    # Holding the GIL would stop this loop for the whole call.
    assert max(gaps) < 0.5 * (time.monotonic() - start)
