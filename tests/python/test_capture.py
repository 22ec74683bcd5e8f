"""Reading a capture file as decoded, paired records."""

import errno

import pytest

from dazozazidorezeraro import InvalidArgument, read_capture

HEADER = '{"format":"geocom-capture","version":1}\n'
EXCHANGES = HEADER + (
    '{"time":0.5,"direction":"to-instrument","bytes":"%R1Q,2107,7:1\\r\\n"}\n'
    '{"time":0.6,"direction":"to-host","bytes":"%R1P,0,7:0,0.5,1.5\\r\\n"}\n'
    '{"time":1.0,"direction":"to-instrument","bytes":"%R1Q,2009,8:\\r\\n"}\n'
    '{"time":9.0,"direction":"to-host","bytes":"noise"}\n')


def test_a_reply_pairs_with_its_request_and_a_silent_one_times_out(tmp_path):
    capture = tmp_path / "session.capture"
    capture.write_text(EXCHANGES)
    records = list(read_capture(capture))
    kinds = [record.kind for record in records]
    assert kinds == ["request", "reply", "request", "timeout", "noise"]
    request, reply, timeout = records[0], records[1], records[3]
    assert request.fields == {"incline_mode": 1}
    assert reply.exchange == request.exchange != timeout.exchange
    assert reply.fields == {"hz": 0.5, "v": 1.5}
    assert reply.round_trip_ms == pytest.approx(100)
    assert timeout.procedure == 2009 and timeout.sequence == 8


@pytest.mark.parametrize("text,named", [
    (HEADER + "{not json\n", "line 2"),
    ('{"format":"geocom-capture","version":99}\n', "99"),
])
def test_a_bad_capture_names_the_file_and_the_line(tmp_path, text, named):
    capture = tmp_path / "bad.capture"
    capture.write_text(text)
    with pytest.raises(InvalidArgument, match=named) as raised:
        list(read_capture(capture))
    assert str(capture) in str(raised.value)


def test_a_capture_that_cannot_be_opened_raises_pythons_own_error(tmp_path):
    with pytest.raises(FileNotFoundError) as missing:
        list(read_capture(tmp_path / "no.capture"))
    assert missing.value.errno == errno.ENOENT
    assert missing.value.filename == str(tmp_path / "no.capture")


def test_a_long_line_is_a_record_and_reading_goes_on(tmp_path):
    capture = tmp_path / "long.capture"
    long_line = '{"bytes":"' + "x" * (2 << 20) + '"}\n'
    lines = EXCHANGES.splitlines(keepends=True)
    capture.write_text("".join(lines[:3] + [long_line] + lines[3:]))
    records = list(read_capture(capture))
    assert [record.kind for record in records] == [
        "request", "reply", "long-line", "request", "timeout", "noise"]
    passed = records[2]
    assert (passed.line, passed.size) == (4, len(long_line) - 1)
    assert passed.bytes == long_line[:64].encode()
