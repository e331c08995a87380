"""The Python module bsv2 and its meshio plugin, on files the tests write."""
import gc
import os
import subprocess
import sys
import threading

import meshio
import numpy
import pytest

import bsv2
import bsv2_meshio  # noqa: F401  (registers the format)

# Coordinates the writer's six decimals keep exactly.
POINTS = numpy.array([[0, 0, 0], [1.5, 0, 0], [0, 2.25, 0], [0, 0, -3], [-0.5, 4, 8]], dtype=numpy.float32)
TRIANGLES = numpy.array([[0, 1, 2], [0, 2, 3], [0, 3, 1], [1, 2, 4]], dtype=numpy.int32)


def test_round_trip_gives_back_the_arrays(tmp_path):
    path = tmp_path / "m.bsv2"
    bsv2.write(str(path), POINTS.tolist(), TRIANGLES.astype(numpy.int64))  # any array-likes
    points, triangles = bsv2.read(path)  # any os.PathLike
    assert points.dtype == numpy.float32 and points.shape == (5, 3)
    assert triangles.dtype == numpy.int32 and triangles.shape == (4, 3)
    numpy.testing.assert_array_equal(points, POINTS)
    numpy.testing.assert_array_equal(triangles, TRIANGLES)


def test_arrays_share_the_shape_which_outlives_the_other_array(tmp_path):
    path = tmp_path / "m.bsv2"
    bsv2.write(path, POINTS, TRIANGLES)
    points, triangles = bsv2.read(path)
    assert not points.flags.owndata and not triangles.flags.owndata
    assert points.base is triangles.base  # one capsule: the shape's own tables
    del points
    gc.collect()
    numpy.testing.assert_array_equal(triangles, TRIANGLES)


def test_negative_triangle_count_gives_no_triangles(tmp_path, capfd):
    path = tmp_path / "m.bsv2"
    path.write_text("BSV2\n1\n-2\n1 2 3\n")
    points, triangles = bsv2.read(path)
    assert triangles.shape == (0, 3) and points.tolist() == [[1, 2, 3]]
    assert capfd.readouterr() == ("", "")  # createShape's text is not printed


def test_dumps_gives_what_write_writes_and_loads_reads_it_back(tmp_path):
    bsv2.write(tmp_path / "m.bsv2", POINTS, TRIANGLES)
    text = bsv2.dumps(POINTS.tolist(), TRIANGLES.astype(numpy.int64))
    assert text == (tmp_path / "m.bsv2").read_bytes()
    points, triangles = bsv2.loads(memoryview(bytearray(text)))  # any bytes-like object
    numpy.testing.assert_array_equal(points, POINTS)
    numpy.testing.assert_array_equal(triangles, TRIANGLES)


DIRECTORY = object()  # in place of a file's content: make a folder there


def loads_file(path):
    return bsv2.loads(path.read_bytes())


# meshio.read must let the error through: its own ReadError would become a
# printed message and an exit.
@pytest.mark.parametrize("read, content, error, message", [
    (bsv2.read, None, FileNotFoundError, "Read error!"),
    (bsv2.read, DIRECTORY, IsADirectoryError, "File Read error!!"),
    (bsv2.read, "BSV3\n1\n0\n0 0 0\n", ValueError, "File is not BSV2 format!"),
    (bsv2.read, "BSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 1 3\n", ValueError, "Vertex number out of range in tTable read"),
    (meshio.read, "BSV2\n0\n0\n", ValueError, "You can't have less than 0 vertices!"),
    (loads_file, "BSV3\n1\n0\n0 0 0\n", ValueError, "File is not BSV2 format!"),
    (loads_file, "BSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 1 3\n", ValueError, "Vertex number out of range"),
    # Counts no file of these few bytes could fill: refused without allocating them.
    (loads_file, "BSV2\n2000000000\n2000000000\n1 2", ValueError, "Read error in vTable read"),
])
def test_read_errors_carry_the_library_message_and_print_nothing(tmp_path, capfd, read, content, error, message):
    path = tmp_path / "m.bsv2"
    if content is DIRECTORY:
        path.mkdir()
    elif content is not None:
        path.write_text(content)
    with pytest.raises(error, match=message):
        read(path)
    assert capfd.readouterr() == ("", "")


WRITE_REFUSALS = [
    (POINTS, [[0, 1, 5]], "names vertex 5"),
    (POINTS, [[0, -1, 2]], "names vertex -1"),
    (POINTS, [[0, 1, 2**32 + 1]], "does not fit in 32 bits"),
    (POINTS, numpy.array([[0, 1, 2**63]], dtype=numpy.uint64), "vertex number 9223372036854775808 does not fit"),
    (POINTS, [[0, 1, 1.5]], "triangles must be integers, not float64"),
    (POINTS, numpy.ones((1, 3), dtype=bool), "triangles must be integers, not bool"),
    (POINTS, numpy.ones((1, 3), dtype=complex), "triangles must be integers, not complex128"),
    (POINTS, [["0", "1", "2"]], "triangles must be integers"),
    (POINTS, [[0, 1, 2], [3, 4]], "inhomogeneous"),
    ([["0", "0", "0"]], TRIANGLES, "points must be real numbers"),
    (numpy.zeros((0, 3)), numpy.zeros((0, 3)), "at least one vertex"),
    (POINTS[:, :2], TRIANGLES, r"shape \(V, 3\)"),
    (POINTS, TRIANGLES[:, :2], r"shape \(T, 3\)"),
    # finite in, infinite as float32: from the first value that rounds up to 2**128
    (numpy.array([[0, 0, 0], [2.0**128 - 2.0**103, 0, 0]]), TRIANGLES[:0], r"point 1 has the coordinate 3.40282356"),
    (numpy.array([[0, 0, 0], ["-4e38", 0, 0]], dtype=numpy.longdouble), TRIANGLES[:0], r"coordinate -4e\+38, which does"),
    # counted before anything is converted: no 48 GiB copy first
    (numpy.broadcast_to(numpy.float64(0), (2**31, 3)), TRIANGLES[:0], "too many vertices or triangles"),
    (POINTS, numpy.broadcast_to(numpy.int64(0), (2**31, 3)), "too many vertices or triangles"),
]


@pytest.mark.parametrize("points, triangles, message", WRITE_REFUSALS)
def test_write_checks_everything_before_opening_the_file(tmp_path, points, triangles, message):
    path = tmp_path / "m.bsv2"
    with pytest.raises(ValueError, match=message):
        bsv2.write(path, points, triangles)
    assert not path.exists()


@pytest.mark.parametrize("points, triangles, message", WRITE_REFUSALS)
def test_dumps_refuses_what_write_refuses(points, triangles, message):
    with pytest.raises(ValueError, match=message):
        bsv2.dumps(points, triangles)


def test_conversion_without_memory_raises_memory_error():
    script = (
        "import resource, numpy, bsv2\n"
        "points = numpy.zeros((20000000, 3))  # float64: the float32 copy needs 240 MB more\n"
        "used = int(open('/proc/self/statm').read().split()[0]) * resource.getpagesize()\n"
        "resource.setrlimit(resource.RLIMIT_AS, (used + (64 << 20), resource.RLIM_INFINITY))\n"
        "try:\n"
        "    bsv2.write('/nonexistent/never.bsv2', points, [[0, 1, 2]])\n"
        "except Exception as e:\n"
        "    print(type(e).__name__)\n"
    )
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, env=dict(os.environ))
    assert run.stdout == "MemoryError\n", run.stderr


def test_float64_points_that_float32_holds_are_written_as_such(tmp_path):
    edge = numpy.nextafter(2.0**128 - 2.0**103, 0)  # the last double that rounds to the largest float32
    bsv2.write(tmp_path / "m.bsv2", numpy.array([[edge, -numpy.inf, numpy.nan]]), TRIANGLES[:0])
    points, _ = bsv2.read(tmp_path / "m.bsv2")
    assert points[0, 0] == numpy.finfo(numpy.float32).max and points[0, 1] == -numpy.inf
    assert numpy.isnan(points[0, 2])


def test_triangles_changed_by_another_thread_meanwhile_never_make_a_file_that_does_not_read(tmp_path):
    good = numpy.zeros((2000000, 3), dtype=numpy.int32)
    triangles = good.copy()
    stop = threading.Event()

    def flip():  # NumPy lets go of the GIL while it fills large arrays, and so does sleep
        while not stop.wait(0.005):
            triangles[:] = 99999
            triangles[:] = good

    flipper = threading.Thread(target=flip)
    flipper.start()
    written = []
    try:
        for attempt in range(100):
            if len(written) == 3:
                break
            path = tmp_path / ("m%d.bsv2" % attempt)
            try:
                bsv2.write(path, POINTS, triangles)
                written.append(path)
            except ValueError as error:
                assert "names vertex 99999" in str(error)
    finally:
        stop.set()
        flipper.join()
    assert written, "no write got past the checks"
    for path in written:  # what was checked is what was written
        assert bsv2.read(path)[1].shape == good.shape


def test_write_that_fails_part_way_leaves_nothing(tmp_path):
    path = tmp_path / "big.bsv2"
    script = (
        "import resource, signal, sys, numpy, bsv2\n"
        "signal.signal(signal.SIGXFSZ, signal.SIG_IGN)\n"
        "resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))\n"
        "try:\n"
        "    bsv2.write(sys.argv[1], numpy.zeros((10000, 3)), numpy.zeros((10000, 3), dtype=int))\n"
        "except OSError as e:\n"
        "    print(e)\n"
    )
    run = subprocess.run([sys.executable, "-c", script, str(path)], capture_output=True, text=True,
                         env=dict(os.environ), check=True)
    assert "Unable to write" in run.stdout
    assert os.listdir(tmp_path) == []  # neither the file nor a temporary one
    with pytest.raises(OSError, match="Unable to open"):
        bsv2.write(tmp_path / "no" / "such.bsv2", POINTS, TRIANGLES)


def test_meshio_round_trip_through_vtu(tmp_path):
    bsv2.write(tmp_path / "m.bsv2", POINTS, TRIANGLES)
    mesh = meshio.read(tmp_path / "m.bsv2")
    assert [block.type for block in mesh.cells] == ["triangle"]
    meshio.write(tmp_path / "m.vtu", mesh)
    meshio.write(tmp_path / "back.bsv2", meshio.read(tmp_path / "m.vtu"))
    points, triangles = bsv2.read(tmp_path / "back.bsv2")
    numpy.testing.assert_array_equal(points, POINTS)
    numpy.testing.assert_array_equal(triangles, TRIANGLES)


def test_meshio_write_leaves_out_other_cells_with_a_warning(tmp_path):
    mesh = meshio.Mesh(POINTS, [("triangle", TRIANGLES[:2]), ("line", [[0, 1]]), ("triangle", TRIANGLES[2:])])
    with pytest.warns(UserWarning, match="1 line cells left out"):
        meshio.write(tmp_path / "m.bsv2", mesh)
    numpy.testing.assert_array_equal(bsv2.read(tmp_path / "m.bsv2")[1], TRIANGLES)


@pytest.mark.skipif("BSV2_CONVERTER" not in os.environ, reason="bsv2-convert is not built")
def test_meshio_reads_the_converters_ply(tmp_path):
    bsv2.write(tmp_path / "m.bsv2", POINTS, TRIANGLES)
    subprocess.run([os.environ["BSV2_CONVERTER"], tmp_path / "m.bsv2", tmp_path / "m.ply"], check=True,
                   capture_output=True)
    mesh = meshio.read(tmp_path / "m.ply")
    numpy.testing.assert_array_equal(mesh.points, POINTS)
    numpy.testing.assert_array_equal(mesh.cells_dict["triangle"], TRIANGLES)


def test_version_is_the_projects():
    assert bsv2.__version__ == os.environ["BSV2_PROJECT_VERSION"]
