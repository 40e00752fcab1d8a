#!/usr/bin/env python3
"""Reads powder diffraction files on a Dask cluster into one NeXus (HDF5) file.

    python3 examples/ingest.py [--scheduler ADDRESS] [--workers N] [--overwrite] OUTPUT.nxs INPUT...

Each INPUT is a file, a directory (every file below it), a glob pattern (quote it) or an fsspec
URL such as s3://bucket/run-42/*.brml (where s3fs is installed). Every scan of every file becomes
one NXentry: /entry_0, /entry_1, ... in input order, each holding source_file, scan_index and
an NXdata group `data` with two_theta (degree) and intensity; the wavelengths a file states
go to the entry's instrument/beam when the installed `vorlen` program can describe files. An
input that cannot be read is recorded in the string dataset /failures as "<input>: <message>"
and the run goes on.

The reads run on a LocalCluster of worker processes (N of them, default one per core), or on
the existing cluster whose scheduler is at ADDRESS (then N, if given, is how many workers to
wait for). Workers fetch the bytes themselves and return plain arrays; this process writes the
file, at most a few files per worker thread being in flight, so memory stays bounded however
many inputs there are. The output appears only once complete, and an existing file is replaced
only with --overwrite. Exit status: 0 when every input was read, 1 when some are recorded in
/failures, 2 on bad usage.
"""

import argparse
import collections
import contextlib
import datetime
import glob
import json
import logging
import os
import re
import shutil
import subprocess
import sys
import tempfile

import fsspec
import h5py
import numpy
from distributed import Client, LocalCluster
from tqdm import tqdm

import vorlen

WAVELENGTH_KEYS = ("wavelength_alpha1", "wavelength_alpha2", "alpha_ratio", "wavelength")
# Files described by one run of `vorlen --info --json`, well below any command-line length limit.
DESCRIBE_BATCH = 256
IN_FLIGHT_PER_THREAD = 4


def is_url(text):
    return "://" in text


def expand(given):
    """The files one INPUT stands for, as strings a worker can open, in sorted order."""
    if is_url(given):
        fs, path = fsspec.core.url_to_fs(given)
        if glob.has_magic(path):
            found = [p for p in fs.glob(path) if fs.isfile(p)]
        elif fs.isdir(path):
            found = fs.find(path)
        else:
            return [given]
        return sorted(fs.unstrip_protocol(p) for p in found)
    if glob.has_magic(given):
        return sorted(p for p in glob.glob(given, recursive=True) if os.path.isfile(p))
    if os.path.isdir(given):
        return sorted(os.path.join(top, name) for top, _, names in os.walk(given) for name in names)
    return [given]


def is_past_last_scan(message, index):
    """Whether a read of scan `index` failed only because the file has no such scan: what every
    reader says then (XML formats, RAS, UXD, RAW: "scan 2 is out of range ..."; GSAS: "bank
    index 1 is out of range ..."; single-pattern formats: "index must be 0")."""
    return index > 0 and bool(re.search(rf"\b{index} is out of range|index must be 0", message))


def read_scans(location, scan_count):
    """Runs on a worker: every scan of one file as plain arrays (a Pattern does not pickle).

    Returns ([(index, two_theta, intensity)], [(index, message)]), index None where the whole
    file failed (a file of one scan included). With scan_count None the scans are read until the out-of-range message; an
    index that fails otherwise ends the file and is reported, so no defect passes for its end."""
    try:
        with fsspec.open(location, "rb") as f:
            data = f.read()
    except Exception as error:  # any file system's failure to fetch is this input's failure
        return [], [(None, str(error) or type(error).__name__)]
    scans, errors = [], []
    index = 0
    while scan_count is None or index < scan_count:
        try:
            p = vorlen.read_bytes(data, location, index=index)
        except (OSError, ValueError) as error:
            if scan_count is None and is_past_last_scan(str(error), index):
                break
            # The first scan of a file that holds at most one stands for the whole file.
            whole_file = index == 0 and (scan_count is None or scan_count == 1)
            errors.append((None if whole_file else index, str(error)))
            if scan_count is None:
                break
        else:
            scans.append((index, numpy.asarray(p.x), numpy.asarray(p.y)))
        index += 1
    return scans, errors


def find_program():
    """The installed `vorlen` program: beside this interpreter, else on PATH."""
    beside = os.path.join(os.path.dirname(sys.executable), "vorlen")
    return beside if os.access(beside, os.X_OK) else shutil.which("vorlen")


def describes_files(program):
    if program is None:
        return False
    done = subprocess.run([program, "--help"], capture_output=True, text=True)
    return "--info" in done.stdout


def describe(paths):
    """{path: description} from `vorlen --info --json` for local files; empty when the
    installed program cannot describe files. Paths go to it absolute (none starts with -)."""
    program = find_program()
    if not paths or not describes_files(program):
        return {}
    given = {os.path.abspath(p): p for p in paths}
    absolute = list(given)
    found = {}
    for start in range(0, len(absolute), DESCRIBE_BATCH):
        batch = absolute[start:start + DESCRIBE_BATCH]
        done = subprocess.run([program, "--info", "--json", *batch], capture_output=True, text=True)
        for line in done.stdout.splitlines():
            record = json.loads(line)
            if record.get("file") in given:
                found[given[record["file"]]] = record
    return found


def beam_wavelengths(metadata):
    """(incident_wavelength, weights or None) in angstrom from what the file states, or None.

    A K-alpha doublet is the NeXus polychromatic form: both wavelengths, weighted 1 and the
    alpha2/alpha1 ratio when the file gives it; otherwise the one wavelength stated."""
    alpha1, alpha2, ratio, single = (metadata.get(key) for key in WAVELENGTH_KEYS)
    if alpha1 is not None and alpha2 is not None:
        return [alpha1, alpha2], None if ratio is None else [1.0, ratio]
    for value in (alpha1, single):
        if value is not None:
            return value, None
    return None


class NexusFile:
    """The NeXus output, written to a hidden file beside OUTPUT and put in place by commit()."""

    def __init__(self, output, overwrite):
        self.output, self.overwrite = output, overwrite
        folder, name = os.path.split(os.path.abspath(output))
        descriptor, self.partial = tempfile.mkstemp(dir=folder, prefix=f".{name}.",
                                                    suffix=".partial")
        os.close(descriptor)
        self.h5 = h5py.File(self.partial, "w")
        self.h5.attrs.update({
            "NX_class": "NXroot", "file_name": name, "creator": "vorlen examples/ingest.py",
            "file_time": datetime.datetime.now(datetime.timezone.utc).isoformat(),
            "HDF5_Version": h5py.version.hdf5_version, "h5py_version": h5py.version.version})
        self.failures = self.h5.create_dataset("failures", shape=(0,), maxshape=(None,),
                                               dtype=h5py.string_dtype())
        self.entries = 0

    def add_failure(self, text):
        self.failures.resize((len(self.failures) + 1,))
        self.failures[-1] = text

    def add_pattern(self, source, index, two_theta, intensity, scan_description):
        entry = self.h5.create_group(f"entry_{self.entries}")
        if self.entries == 0:
            self.h5.attrs["default"] = entry.name[1:]
        self.entries += 1
        entry.attrs.update({"NX_class": "NXentry", "default": "data"})
        entry.create_dataset("source_file", data=source, dtype=h5py.string_dtype())
        entry.create_dataset("scan_index", data=numpy.int64(index))
        data = entry.create_group("data")
        data.attrs.update({"NX_class": "NXdata", "signal": "intensity", "axes": "two_theta",
                           "two_theta_indices": 0})
        data.create_dataset("two_theta", data=two_theta).attrs["units"] = "degree"
        counts = data.create_dataset("intensity", data=intensity)
        if "y_unit" in scan_description:
            counts.attrs["units"] = scan_description["y_unit"]
        self.add_instrument(entry, scan_description.get("metadata", {}))

    @staticmethod
    def add_instrument(entry, metadata):
        wavelengths = beam_wavelengths(metadata)
        if wavelengths is None and "anode" not in metadata:
            return
        instrument = entry.create_group("instrument")
        instrument.attrs["NX_class"] = "NXinstrument"
        if "anode" in metadata:
            source = instrument.create_group("source")
            source.attrs["NX_class"] = "NXsource"
            source.create_dataset("probe", data="x-ray", dtype=h5py.string_dtype())
            source.create_dataset("target_material", data=metadata["anode"],
                                  dtype=h5py.string_dtype())
        if wavelengths is not None:
            beam = instrument.create_group("beam")
            beam.attrs["NX_class"] = "NXbeam"
            values, weights = wavelengths
            beam.create_dataset("incident_wavelength", data=values).attrs["units"] = "angstrom"
            if weights is not None:
                beam.create_dataset("incident_wavelength_weights", data=weights)

    def commit(self):
        """Puts the finished file in place: replacing OUTPUT only when asked, never a half file."""
        self.h5.close()
        if self.overwrite:
            os.replace(self.partial, self.output)
        else:
            os.link(self.partial, self.output)  # fails if OUTPUT appeared meanwhile
            os.unlink(self.partial)

    def discard(self):
        self.h5.close()
        if os.path.exists(self.partial):
            os.unlink(self.partial)


def arguments(argv):
    parser = argparse.ArgumentParser(
        prog="ingest.py", description="Read powder diffraction files on a Dask cluster into one "
        "NeXus file: one NXentry per scan, unreadable inputs listed in /failures.")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="address of an existing Dask scheduler (default: start a local "
                        "cluster of worker processes)")
    parser.add_argument("--workers", metavar="N", type=int,
                        help="local worker processes (default: one per core); with --scheduler, "
                        "wait until N workers have joined")
    parser.add_argument("--overwrite", action="store_true", help="replace OUTPUT if it exists")
    parser.add_argument("output", metavar="OUTPUT.nxs")
    parser.add_argument("inputs", metavar="INPUT", nargs="+",
                        help="file, directory, glob pattern or fsspec URL")
    args = parser.parse_args(argv)
    if args.workers is not None and args.workers < 1:
        parser.error("--workers must be at least 1")
    if not os.path.isdir(os.path.dirname(os.path.abspath(args.output))):
        parser.error(f"the folder of {args.output} does not exist")
    if os.path.exists(args.output) and not args.overwrite:
        parser.error(f"{args.output} exists (use --overwrite to replace it)")
    return args


def connect(args, stack):
    """A client of the cluster to use, closed (with a local cluster) when the stack closes."""
    if args.scheduler:
        client = stack.enter_context(Client(args.scheduler))
        if args.workers:
            client.wait_for_workers(args.workers)
        return client
    cluster = stack.enter_context(LocalCluster(
        n_workers=args.workers or os.cpu_count() or 1, threads_per_worker=1, processes=True,
        dashboard_address=None, silence_logs=logging.ERROR))
    return stack.enter_context(Client(cluster))


def ingest(client, sources, descriptions, nexus):
    """Reads every source on the cluster and writes its scans in input order as they arrive."""
    limit = IN_FLIGHT_PER_THREAD * max(1, sum(client.nthreads().values()))
    todo, pending = iter(sources), collections.deque()

    def submit_next():
        for source in todo:
            location = source if is_url(source) else os.path.abspath(source)
            scans = descriptions.get(source, {}).get("scans")
            count = len(scans) if scans is not None else None
            pending.append((source, client.submit(read_scans, location, count, pure=False)))
            return

    for _ in range(limit):
        submit_next()
    with tqdm(total=len(sources), unit="file", disable=not sys.stderr.isatty()) as progress:
        while pending:
            source, future = pending.popleft()
            try:
                scans, errors = future.result()
            except Exception as error:  # a worker lost or killed: this input failed, go on
                scans, errors = [], [(None, f"{type(error).__name__}: {error}")]
            future.release()
            submit_next()
            described = descriptions.get(source, {}).get("scans", [])
            for index, two_theta, intensity in scans:
                scan = described[index] if index < len(described) else {}
                nexus.add_pattern(source, index, two_theta, intensity, scan)
            for index, message in errors:
                where = source if index is None else f"{source}: index {index}"
                nexus.add_failure(f"{where}: {message}")
            progress.update(1)


def main(argv):
    args = arguments(argv)
    sources, unexpanded = [], []
    for given in args.inputs:
        try:
            found = expand(given)
        except Exception as error:  # e.g. a URL whose file system is not installed
            unexpanded.append(f"{given}: {error}")
            continue
        sources += found
        if not found:
            unexpanded.append(f"{given}: no file matches")
    descriptions = describe([s for s in sources if not is_url(s)])
    nexus = NexusFile(args.output, args.overwrite)
    try:
        for text in unexpanded:
            nexus.add_failure(text)
        with contextlib.ExitStack() as stack:
            ingest(connect(args, stack), sources, descriptions, nexus)
        entries, failures = nexus.entries, len(nexus.failures)
        nexus.commit()
    except BaseException:
        nexus.discard()
        raise
    print(f"{args.output}: {entries} patterns from {len(sources)} files, {failures} failures",
          file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
