"""vorlen --convert: one text file per pattern, complete or absent, nothing overwritten unless
asked, a bad file reported without stopping the batch, the same bytes on any number of threads."""

import os
import pathlib
import pty
import signal
import subprocess
import time

import pytest

import vorlen

from cli_support import CLI, EXAMPLE_FILES, EXAMPLES, needs_describe, points, rows, run


def distinct_copies(folder):
    """Every example under its own stem (the examples share the stem "silicon")."""
    folder.mkdir()
    copies = []
    for path in EXAMPLE_FILES:
        copy = folder / (path.name.replace(".", "_") + path.suffix)
        copy.write_bytes(path.read_bytes())
        copies.append(copy)
    return copies


def outputs(folder):
    return {p.name: p.read_bytes() for p in sorted(folder.iterdir())}


@pytest.fixture
def inputs(tmp_path):
    return distinct_copies(tmp_path / "in")


@pytest.mark.parametrize("layout", ["xy", "csv"])
def test_every_output_reads_back_to_the_same_doubles(tmp_path, inputs, layout):
    out = tmp_path / "out"
    result = run("--convert", out, "--to", layout, "-j", "2", *inputs)
    assert (result.returncode, result.stdout) == (0, "")
    assert result.stderr == f"vorlen: converted {len(inputs)}, failed 0, skipped 0\n"
    for source in inputs:
        written = out / (source.stem + "." + layout)
        header, *body = written.read_text().splitlines()
        if layout == "xy":
            assert header == f"# {source}, scan 0"
            assert points(written) == points(source)
        else:
            assert header == "two_theta,intensity"
        assert rows("\n".join(body), "," if layout == "csv" else None) == points(source)


def test_existing_outputs_are_skipped_unless_forced(tmp_path, inputs):
    out = tmp_path / "out"
    assert run("--convert", out, *inputs).returncode == 0
    edited = out / (inputs[0].stem + ".xy")
    edited.write_text("mine\n")
    before = outputs(out)
    again = run("--convert", out, *inputs)
    assert again.returncode == 1
    messages = again.stderr.splitlines()
    assert messages[0] == f"vorlen: {inputs[0]}: {edited} exists, skipped (--force replaces it)"
    assert messages[-1] == f"vorlen: converted 0, failed 0, skipped {len(inputs)}"
    assert outputs(out) == before
    forced = run("--convert", out, "--force", *inputs)
    assert (forced.returncode, forced.stderr) == (0, f"vorlen: converted {len(inputs)}, failed 0, skipped 0\n")
    assert points(edited) == points(inputs[0])


def test_a_bad_file_is_reported_in_order_and_the_batch_goes_on(tmp_path, inputs):
    bad = tmp_path / "in" / "broken.xrdml"
    bad.write_text("<?xml version='1.0'?><xrdMeasurements><nope/></xrdMeasurements>")
    absent = tmp_path / "in" / "absent.xy"
    batch = inputs[:3] + [bad] + inputs[3:] + [absent]
    out = tmp_path / "out"
    result = run("--convert", out, "-j", "3", *batch)
    assert result.returncode == 1
    error = vorlen_error(bad)
    assert result.stderr.splitlines() == [
        f"vorlen: {bad}: {error}",
        f"vorlen: {absent}: IO error: No such file or directory (os error 2)",
        f"vorlen: converted {len(inputs)}, failed 2, skipped 0",
    ]
    assert sorted(outputs(out)) == sorted(p.stem + ".xy" for p in inputs)


def vorlen_error(path):
    with pytest.raises(ValueError) as caught:
        vorlen.read(str(path))
    return str(caught.value)


@pytest.mark.parametrize("jobs", ["1", "3"])
def test_threads_give_the_same_bytes_and_messages_as_a_serial_run(tmp_path, inputs, jobs):
    bad = tmp_path / "in" / "bad.xy"
    bad.write_text("no numbers here\n")
    batch = [bad] + inputs + [bad.with_name("bad2.xy")]
    serial = run("--convert", tmp_path / "serial", "-j", "1", *batch)
    parallel = run("--convert", tmp_path / "parallel", "-j", jobs, *batch)
    assert (parallel.returncode, parallel.stderr) == (serial.returncode, serial.stderr)
    assert outputs(tmp_path / "parallel") == outputs(tmp_path / "serial")


def test_inputs_sharing_an_output_name_stop_the_batch_before_writing(tmp_path):
    out = tmp_path / "out"
    result = run("--convert", out, EXAMPLES / "silicon.xy", EXAMPLES / "silicon_v3.raw", EXAMPLES / "silicon.ras")
    assert result.returncode == 1
    assert result.stderr.splitlines() == [
        f"vorlen: {EXAMPLES / 'silicon.xy'} and {EXAMPLES / 'silicon.ras'} would both be written to {out}/silicon.xy",
        "vorlen: nothing converted",
    ]
    assert not out.exists()


@pytest.mark.parametrize("target", ["file/sub", "missing/sub"])
def test_an_unwritable_folder_is_one_message_and_nothing_is_read(tmp_path, inputs, target):
    (tmp_path / "file").write_text("")
    result = run("--convert", tmp_path / target, *inputs)
    assert result.returncode == 1
    reason = "Not a directory (os error 20)" if target.startswith("file") else "No such file or directory (os error 2)"
    assert result.stderr == f"vorlen: {tmp_path / target}: cannot write there: {reason}\n"


@pytest.mark.skipif(os.geteuid() == 0, reason="root writes into read-only folders")
def test_a_read_only_folder_is_refused(tmp_path, inputs):
    out = tmp_path / "out"
    out.mkdir(mode=0o555)
    result = run("--convert", out, *inputs)
    assert result.returncode == 1 and "cannot write there: Permission denied" in result.stderr


def test_no_temporary_file_is_left_behind(tmp_path, inputs):
    out = tmp_path / "out"
    run("--convert", out, *inputs, inputs[0].with_name("absent.xy"))
    assert all(not name.startswith(".") for name in os.listdir(out))


@pytest.mark.parametrize("args,name", [(["--name", "piped.ras"], "piped.xy"), ([], "stdin.xy")])
def test_standard_input_is_converted_under_its_name(tmp_path, args, name):
    data = (EXAMPLES / "silicon.ras").read_bytes()
    result = run("--convert", tmp_path, *args, "-", input=data, text=False)
    assert result.returncode == 0, result.stderr
    assert points(tmp_path / name) == points(EXAMPLES / "silicon.ras")


def test_index_and_block_choose_the_scan(tmp_path):
    result = run("--convert", tmp_path, "--index", "1", EXAMPLES / "silicon.ras")
    assert result.returncode == 0
    text = (tmp_path / "silicon.xy").read_text()
    assert text.splitlines()[0] == f"# {EXAMPLES / 'silicon.ras'}, scan 1"
    assert points(tmp_path / "silicon.xy") == points(EXAMPLES / "silicon.ras", index=1)


def test_a_name_on_several_lines_keeps_the_header_one_line(tmp_path):
    source = tmp_path / "two\nlines.xy"
    source.write_text("1 2\n3 4\n")
    assert run("--convert", tmp_path / "out", source).returncode == 0
    assert (tmp_path / "out" / "two\nlines.xy").read_text() == f"# {tmp_path}/two?lines.xy, scan 0\n1 2\n3 4\n"


@needs_describe
def test_all_scans_writes_every_readable_scan(tmp_path):
    sources = [EXAMPLES / "silicon.ras", EXAMPLES / "silicon_v3.raw"]
    result = run("--convert", tmp_path, "--all-scans", *sources[:1])
    assert result.returncode == 0, result.stderr
    written = sorted(p.name for p in tmp_path.iterdir())
    assert written == ["silicon_0.xy", "silicon_1.xy"]
    for index, name in enumerate(written):
        assert points(tmp_path / name) == points(sources[0], index=index)


@needs_describe
@pytest.mark.parametrize("force", [[], ["--force"]])
def test_a_scan_output_named_like_another_input_is_never_replaced_in_the_run(tmp_path, force):
    # silicon.ras holds two scans, written as silicon_0.xy and silicon_1.xy; the input
    # silicon_1.xy would be written to the second name, found only once silicon.ras is read.
    other = tmp_path / "in" / "silicon_1.xy"
    other.parent.mkdir()
    other.write_text("1 2\n3 4\n")
    out = tmp_path / "out"
    result = run("--convert", out, "--all-scans", "-j", "1", *force, EXAMPLES / "silicon.ras", other)
    assert result.returncode == 1
    assert result.stderr.splitlines() == [
        f"vorlen: {other}: {out}/silicon_1.xy is also an output of {EXAMPLES / 'silicon.ras'} in this run; not written",
        "vorlen: converted 2, failed 1, skipped 0",
    ]
    assert points(out / "silicon_1.xy") == points(EXAMPLES / "silicon.ras", index=1)


def test_an_interrupted_batch_leaves_no_partial_or_hidden_file(tmp_path):
    folder = tmp_path / "in"
    folder.mkdir()
    big = "".join(f"{10 + i * 1e-4:.4f} {i % 977}\n" for i in range(300_000))
    inputs = [folder / f"big{i}.xy" for i in range(8)]
    for path in inputs:
        path.write_text(big)
    out = tmp_path / "out"
    with subprocess.Popen([CLI, "--convert", str(out), "-j", "1", *map(str, inputs)],
                          stderr=subprocess.DEVNULL) as process:
        # Stopped while it writes: as soon as anything shows in the folder.
        while process.poll() is None and not (out.exists() and any(out.iterdir())):
            time.sleep(0.001)
        process.send_signal(signal.SIGINT)
        process.wait(timeout=60)
    left = sorted(p.name for p in out.iterdir()) if out.exists() else []
    assert not [name for name in left if name.startswith(".")]
    for name in left:
        assert (out / name).read_text().count("\n") == 300_001  # the '#' line and every row


def test_progress_is_drawn_on_a_terminal_and_cleared(tmp_path, inputs):
    leader, follower = pty.openpty()
    with subprocess.Popen([CLI, "--convert", str(tmp_path / "out"), *map(str, inputs * 1)],
                          stdout=subprocess.DEVNULL, stderr=follower) as process:
        os.close(follower)
        seen = b""
        while True:
            try:
                chunk = os.read(leader, 4096)
            except OSError:  # the terminal's other end closed
                break
            if not chunk:
                break
            seen += chunk
        assert process.wait(timeout=60) == 0
    os.close(leader)
    text = seen.decode()
    summary = f"vorlen: converted {len(inputs)}, failed 0, skipped 0"
    # Whatever progress was drawn is erased before the summary, which stands alone.
    assert text.replace("\r\n", "\n").endswith(summary + "\n")
    assert f"\r\x1b[Kvorlen: {len(inputs)}/{len(inputs)} files" in text or f"/{len(inputs)} files" in text
    assert text.count("\r\x1b[K") >= 2


def test_no_progress_when_standard_error_is_not_a_terminal(tmp_path, inputs):
    result = run("--convert", tmp_path / "out", *inputs)
    assert "\r" not in result.stderr and "\x1b" not in result.stderr
