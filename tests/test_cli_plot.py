"""vorlen --plot: one SVG with round ticks, one path per pattern inside the plot area, every peak
kept when a large pattern is thinned, and a legend naming file and scan."""

import math
import re
import xml.etree.ElementTree as ET

import pytest

from cli_support import EXAMPLES, needs_describe, run

SVG = "{http://www.w3.org/2000/svg}"


class Picture:
    """What a test needs from the SVG: the plot area, the axes' ticks and each path's points."""

    def __init__(self, path):
        self.root = ET.parse(path).getroot()
        area = self.root.find(f".//{SVG}rect[@id='plot-area']")
        self.left, self.top = float(area.get("x")), float(area.get("y"))
        self.right = self.left + float(area.get("width"))
        self.bottom = self.top + float(area.get("height"))
        self.x_ticks = self.ticks("x-axis", "x")
        self.y_ticks = self.ticks("y-axis", "y")
        self.paths = [[(float(x), float(y)) for x, y in re.findall(r"[ML](-?[\d.]+) (-?[\d.]+)", p.get("d"))]
                      for p in self.root.iter(f"{SVG}path") if p.get("class") == "pattern"]
        self.legend = ["".join(t.itertext()) for t in self.root.find(f".//{SVG}g[@id='legend']").iter(f"{SVG}text")]

    def ticks(self, axis, attribute):
        """(value, pixel) of every labelled tick; a logarithmic label is a power of ten."""
        found = []
        for text in self.root.find(f".//{SVG}g[@id='{axis}']").iter(f"{SVG}text"):
            if text.get("class") != "tick":
                continue
            span = text.find(f"{SVG}tspan")
            value = 10.0 ** float(span.text) if span is not None else float(text.text)
            found.append((value, float(text.get(attribute)) - (4.5 if attribute == "y" else 0)))
        return found

    def pixel(self, ticks, value, log=False):
        """Where `value` lands, from the first and last tick."""
        (v0, p0), (v1, p1) = ticks[0], ticks[-1]
        f = (lambda v: math.log10(v)) if log else (lambda v: v)
        return p0 + (f(value) - f(v0)) * (p1 - p0) / (f(v1) - f(v0))


def write_xy(path, xs, ys):
    path.write_text("".join(f"{x!r} {y!r}\n" for x, y in zip(xs, ys)))
    return path


def is_round(value, step):
    """A multiple of a 1, 2 or 5 step."""
    return abs(value / step - round(value / step)) < 1e-9


@pytest.fixture
def two_patterns(tmp_path):
    a = write_xy(tmp_path / "a.xy", [10 + 0.05 * i for i in range(801)],
                 [100 + 900 * math.exp(-((10 + 0.05 * i - 28.4) / 0.2) ** 2) for i in range(801)])
    b = write_xy(tmp_path / "b.xy", [15 + 0.1 * i for i in range(301)], [50 + i for i in range(301)])
    return [a, b]


def test_axes_have_round_evenly_spaced_ticks_inside_the_plot_area(tmp_path, two_patterns):
    out = tmp_path / "plot.svg"
    result = run("--plot", out, *two_patterns)
    assert (result.returncode, result.stdout, result.stderr) == (0, "", "")
    picture = Picture(out)
    for ticks, low, high in [(picture.x_ticks, picture.left, picture.right),
                             (picture.y_ticks, picture.top, picture.bottom)]:
        assert 4 <= len(ticks) <= 12
        values = [v for v, _ in ticks]
        step = values[1] - values[0]
        assert any(step / 10 ** math.floor(math.log10(step)) == pytest.approx(m) for m in (1, 2, 5))
        assert all(is_round(v, step) for v in values)
        gaps = [b[1] - a[1] for a, b in zip(ticks, ticks[1:])]
        assert max(gaps) - min(gaps) < 0.2
        assert all(low - 0.1 <= p <= high + 0.1 for _, p in ticks)
    assert picture.y_ticks[0][0] == 0  # intensities compare from zero


def test_one_path_per_pattern_with_its_extremes_in_place(tmp_path, two_patterns):
    out = tmp_path / "plot.svg"
    run("--plot", out, *two_patterns)
    picture = Picture(out)
    assert len(picture.paths) == 2
    assert picture.legend == [f"{two_patterns[0]}, scan 0", f"{two_patterns[1]}, scan 0"]
    for path, points in zip(two_patterns, picture.paths):
        xs, ys = zip(*(map(float, line.split()) for line in path.read_text().splitlines()))
        px = [p[0] for p in points]
        py = [p[1] for p in points]
        assert all(picture.left <= x <= picture.right for x in px)
        assert all(picture.top <= y <= picture.bottom for y in py)
        assert min(px) == pytest.approx(picture.pixel(picture.x_ticks, xs[0]), abs=0.1)
        assert max(px) == pytest.approx(picture.pixel(picture.x_ticks, xs[-1]), abs=0.1)
        assert min(py) == pytest.approx(picture.pixel(picture.y_ticks, max(ys)), abs=0.1)
        assert max(py) == pytest.approx(picture.pixel(picture.y_ticks, min(ys)), abs=0.1)


def test_a_million_points_are_thinned_without_losing_a_peak(tmp_path):
    n = 1_000_000
    spike = 654_321
    xs = [5 + 115 * i / n for i in range(n)]
    ys = [100 + (i % 7) for i in range(n)]
    ys[spike] = 25_000  # one point only: thinning must keep it
    ys[spike + 1000] = -40
    source = write_xy(tmp_path / "large.xy", xs, ys)
    out = tmp_path / "plot.svg"
    assert run("--plot", out, source).returncode == 0
    assert out.stat().st_size < 200_000
    picture = Picture(out)
    [points] = picture.paths
    assert len(points) <= 4 * (picture.right - picture.left) + 4
    top = min(points, key=lambda p: p[1])
    bottom = max(points, key=lambda p: p[1])
    assert top[1] == pytest.approx(picture.pixel(picture.y_ticks, 25_000), abs=0.1)
    assert top[0] == pytest.approx(picture.pixel(picture.x_ticks, xs[spike]), abs=0.1)
    assert bottom[1] == pytest.approx(picture.pixel(picture.y_ticks, -40), abs=0.1)


def test_a_log_axis_leaves_out_values_that_are_not_positive_and_says_so(tmp_path):
    source = write_xy(tmp_path / "counts.xy", [20, 21, 22, 23, 24, 25], [5, 0, 300, -1, 40000, 7])
    out = tmp_path / "plot.svg"
    assert run("--plot", out, "--log", source).returncode == 0
    picture = Picture(out)
    assert picture.legend == [f"{source}, scan 0 (2 values \u2264 0 left out)"]
    assert [v for v, _ in picture.y_ticks] == [1, 10, 100, 1000, 10000, 100000]
    [points] = picture.paths
    assert len(points) == 4
    d = next(p.get("d") for p in picture.root.iter(f"{SVG}path") if p.get("class") == "pattern")
    assert d.count("M") == 3  # the line breaks at each left-out value
    assert min(y for _, y in points) == pytest.approx(picture.pixel(picture.y_ticks, 40000, log=True), abs=0.1)


def test_names_that_are_not_text_still_give_valid_svg(tmp_path):
    source = bytes(tmp_path) + b"/a&b<c>\"\x01\xff.xy"
    with open(source, "w") as f:
        f.write("1 2\n2 3\n")
    out = tmp_path / "plot.svg"
    assert run("--plot", out, source, text=False).returncode == 0
    assert Picture(out).legend == [f"{tmp_path}/a&b<c>\"?\ufffd.xy, scan 0"]


def test_an_existing_picture_is_kept_unless_forced(tmp_path, two_patterns):
    out = tmp_path / "plot.svg"
    out.write_text("mine")
    result = run("--plot", out, *two_patterns)
    assert result.returncode == 1
    assert result.stderr == f"vorlen: {out}: exists, not replaced (--force replaces it)\n"
    assert out.read_text() == "mine"
    assert run("--plot", out, "--force", *two_patterns).returncode == 0
    assert len(Picture(out).paths) == 2


def test_unreadable_inputs_are_reported_and_the_rest_drawn(tmp_path, two_patterns):
    out = tmp_path / "plot.svg"
    absent = tmp_path / "absent.xy"
    result = run("--plot", out, two_patterns[0], absent)
    assert result.returncode == 1
    assert result.stderr == f"vorlen: {absent}: IO error: No such file or directory (os error 2)\n"
    assert len(Picture(out).paths) == 1
    nothing = run("--plot", tmp_path / "none.svg", absent)
    assert nothing.returncode == 1 and not (tmp_path / "none.svg").exists()


@pytest.mark.parametrize("xs,ys", [
    ([1e22, 2e22], [0, 0]),
    ([-1e308, 1e308], [-1e308, 1e308]),
    ([0.1], [5]),
    ([10, 10.000000001], [1e-300, 2e-300]),
])
def test_extreme_values_still_give_a_picture_inside_the_area(tmp_path, xs, ys):
    source = write_xy(tmp_path / "odd.xy", xs, ys)
    out = tmp_path / "plot.svg"
    assert run("--plot", out, source).returncode == 0
    picture = Picture(out)
    [points] = picture.paths
    assert all(picture.left <= x <= picture.right and picture.top <= y <= picture.bottom for x, y in points)


@needs_describe
def test_all_scans_draws_every_scan_of_a_file(tmp_path):
    out = tmp_path / "plot.svg"
    assert run("--plot", out, "--all-scans", EXAMPLES / "silicon.ras").returncode == 0
    picture = Picture(out)
    assert len(picture.paths) == 2
    assert picture.legend == [f"{EXAMPLES / 'silicon.ras'}, scan 0", f"{EXAMPLES / 'silicon.ras'}, scan 1"]
