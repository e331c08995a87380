// The Python module bsv2: BSV2 files and BSV2 text in memory as NumPy
// arrays, through the Shape library's reporting readers and writers.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

#include "shape.h"
#include "whole_output.h"

namespace py = pybind11;

namespace {

// The library's text without its closing newline, for an exception.
std::string trimmed(const char *message) {
    std::string text = message;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// A path from str, bytes or any os.PathLike, as the file system takes it.
std::string fileSystemPath(const py::object &path) {
    py::object fspath = py::module_::import("os").attr("fsencode")(path);
    return fspath.cast<std::string>();
}

[[noreturn]] void raiseOSError(int errorNumber, const std::string &message, const py::object &path) {
    py::object error = py::module_::import("builtins").attr("OSError")(errorNumber, message, path);
    PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(error.ptr())), error.ptr());
    throw py::error_already_set();
}

// The shape's tables as (points, triangles). Both arrays look into the
// shape's own tables; the capsule releases the shape when the last array
// that uses it goes.
py::tuple meshArrays(Shape shape) {
    py::capsule owner(shape, [](void *released) { destroyShape(static_cast<Shape>(released)); });
    py::array_t<float> points({static_cast<py::ssize_t>(shape->numVertices), py::ssize_t(3)}, shape->vTable, owner);
    py::ssize_t numTris = numTriangles(shape) > 0 ? numTriangles(shape) : 0;
    py::array_t<int> triangles({numTris, py::ssize_t(3)}, numTris > 0 ? shape->tTable : nullptr, owner);
    return py::make_tuple(points, triangles);
}

py::tuple readMesh(const py::object &path) {
    std::string name = fileSystemPath(path);
    char message[128];
    Bsv2Cause cause = BSV2_CAUSE_NONE;
    int systemError = 0;
    Shape shape;
    {
        py::gil_scoped_release unlocked;
        shape = readShapeFromFileWithCause(name.c_str(), message, sizeof message, &cause, &systemError);
    }
    if (shape == nullptr) {
        // A table that cannot be allocated has no message of the reader's:
        // the library's text for the cause says it.
        std::string reason = message[0] != '\0' ? trimmed(message) : bsv2CauseText(cause);
        if (cause == BSV2_CAUSE_NO_MEMORY) {
            PyErr_SetString(PyExc_MemoryError, (name + ": " + reason).c_str());
            throw py::error_already_set();
        }
        // With the system's error number, OSError becomes the subclass that
        // names it: FileNotFoundError, IsADirectoryError, PermissionError.
        if (cause == BSV2_CAUSE_CANNOT_OPEN || cause == BSV2_CAUSE_CANNOT_READ) raiseOSError(systemError, reason, path);
        throw py::value_error(name + ": " + reason);
    }
    return meshArrays(shape);
}

using Corners = py::array_t<int, py::array::c_style>;

// An array-like as a NumPy array, without copying one that is an array
// already: a broadcast view stays a view, so that its size is checked
// before any conversion allocates. NumPy's errors come through as they are:
// ValueError for ragged lists, MemoryError when there is no room.
py::array asArray(const py::object &like) {
    return py::module_::import("numpy").attr("asarray")(like).cast<py::array>();
}

char kindOf(const py::array &array) { return array.dtype().attr("kind").cast<char>(); }

std::string typeName(const py::array &array) { return py::str(array.dtype()).cast<std::string>(); }

// The array with its numbers in this machine's byte order, as C reads them.
py::array inNativeOrder(const py::array &array) {
    if (array.dtype().attr("isnative").cast<bool>()) return array;
    return array.attr("astype")(array.dtype().attr("newbyteorder")("=")).cast<py::array>();
}

// Element (row, column) of a two-dimensional array of any strides, read
// once, and with no assumption about its alignment.
template <typename Number>
Number elementOf(const py::array &array, py::ssize_t row, py::ssize_t column) {
    Number value;
    std::memcpy(&value, static_cast<const char *>(array.data()) + row * array.strides(0) + column * array.strides(1),
                sizeof value);
    return value;
}

template <typename Number>
std::string shortest(Number value) {
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// The smallest magnitude that a float rounds to infinity: FLT_MAX plus
// half of its last step.
const long double kFloatOverflow = 0x1.ffffffp127L;

// Copies points of a wider float type into `to`, refusing a finite value
// that would become infinite there.
template <typename Wide>
void narrowPoints(const py::array &from, float *to) {
    for (py::ssize_t row = 0; row < from.shape(0); row++) {
        for (py::ssize_t column = 0; column < 3; column++) {
            Wide value = elementOf<Wide>(from, row, column);
            if (std::isfinite(value) && std::fabs(static_cast<long double>(value)) >= kFloatOverflow)
                throw py::value_error("point " + std::to_string(row) + " has the coordinate " + shortest(value) +
                                      ", which does not fit in a 32-bit float");
            to[3 * row + column] = static_cast<float>(value);
        }
    }
}

// The points as a new float32 table of the module's own, so that what is
// written is what was checked whatever other threads do with the caller's
// array. Only numbers that are real are taken: no booleans, complex
// numbers, strings or objects.
py::array_t<float> ownedPoints(const py::array &array) {
    char kind = kindOf(array);
    std::size_t width = static_cast<std::size_t>(array.itemsize());
    if (kind != 'f' || (width != sizeof(double) && width != sizeof(long double)))
        return array.attr("astype")("float32").cast<py::array_t<float>>();  // always fits, always a copy
    py::array_t<float> points({array.shape(0), py::ssize_t(3)});
    py::array native = inNativeOrder(array);
    if (width == sizeof(double)) {
        narrowPoints<double>(native, points.mutable_data());
    } else {
        narrowPoints<long double>(native, points.mutable_data());
    }
    return points;
}

// Copies vertex numbers of type Integer into `to`, checking each, as read,
// against 32 bits in its own width (nothing is wrapped) and against the
// vertices there are.
template <typename Integer>
void narrowCorners(const py::array &from, py::ssize_t numVertices, int *to) {
    for (py::ssize_t row = 0; row < from.shape(0); row++) {
        for (py::ssize_t column = 0; column < 3; column++) {
            Integer value = elementOf<Integer>(from, row, column);
            bool fits = static_cast<unsigned long long>(value) <= INT_MAX;
            if constexpr (std::is_signed<Integer>::value) fits = value >= INT_MIN && value <= INT_MAX;
            if (!fits) throw py::value_error("vertex number " + std::to_string(value) + " does not fit in 32 bits");
            int vertex = static_cast<int>(value);
            if (vertex < 0 || vertex >= numVertices)
                throw py::value_error("triangle " + std::to_string(row) + " names vertex " + std::to_string(vertex) +
                                      ", outside 0 .. " + std::to_string(numVertices - 1));
            to[3 * row + column] = vertex;
        }
    }
}

// narrowCorners for an integer type of the array's width and signedness.
template <typename Signed, typename Unsigned>
void narrowCornersOf(const py::array &from, py::ssize_t numVertices, int *to) {
    if (kindOf(from) == 'i') {
        narrowCorners<Signed>(from, numVertices, to);
    } else {
        narrowCorners<Unsigned>(from, numVertices, to);
    }
}

// The triangles as a new int32 table of the module's own, every vertex
// number checked as it is copied. Only integers are taken (a float, a
// boolean or a string is no vertex number, and rounding one would write
// another triangle than was given).
Corners ownedCorners(const py::array &array, py::ssize_t numVertices) {
    Corners corners({array.shape(0), py::ssize_t(3)});
    if (array.shape(0) == 0) return corners;
    py::array native = inNativeOrder(array);
    int *to = corners.mutable_data();
    switch (array.itemsize()) {
        case 1:
            narrowCornersOf<std::int8_t, std::uint8_t>(native, numVertices, to);
            break;
        case 2:
            narrowCornersOf<std::int16_t, std::uint16_t>(native, numVertices, to);
            break;
        case 4:
            narrowCornersOf<std::int32_t, std::uint32_t>(native, numVertices, to);
            break;
        case 8:
            narrowCornersOf<std::int64_t, std::uint64_t>(native, numVertices, to);
            break;
        default:
            throw py::value_error("triangles must be integers of at most 64 bits, not " + typeName(array));
    }
    return corners;
}

// The points and triangles write and dumps take, checked and copied into
// tables of the module's own, and a record over them for the writer (which
// only reads it). ValueError for anything a BSV2 file cannot hold
// faithfully; MemoryError when the tables cannot be made.
struct OwnedMesh {
    py::array_t<float> points;
    Corners corners;
    Shape_Typ record;
};

OwnedMesh ownedMesh(const py::object &pointsLike, const py::object &trianglesLike) {
    // Kinds, shapes and counts first: nothing is converted before they pass.
    py::array pointsGiven = asArray(pointsLike);
    char kind = kindOf(pointsGiven);
    if (kind != 'f' && kind != 'i' && kind != 'u' && pointsGiven.size() > 0)
        throw py::value_error("points must be real numbers, not " + typeName(pointsGiven));
    if (pointsGiven.ndim() != 2 || pointsGiven.shape(1) != 3) throw py::value_error("points must have shape (V, 3)");
    py::array trianglesGiven = asArray(trianglesLike);
    kind = kindOf(trianglesGiven);
    if (kind != 'i' && kind != 'u' && trianglesGiven.size() > 0)
        throw py::value_error("triangles must be integers, not " + typeName(trianglesGiven));
    if (trianglesGiven.ndim() != 2 || trianglesGiven.shape(1) != 3)
        throw py::value_error("triangles must have shape (T, 3)");
    py::ssize_t numVertices = pointsGiven.shape(0), numTris = trianglesGiven.shape(0);
    if (numVertices < 1) throw py::value_error("a BSV2 file holds at least one vertex");
    if (numVertices > INT_MAX || numTris > INT_MAX) throw py::value_error("too many vertices or triangles for BSV2");
    OwnedMesh mesh{ownedPoints(pointsGiven), ownedCorners(trianglesGiven, numVertices), {}};
    mesh.record.numVertices = static_cast<int>(numVertices);
    mesh.record.vTable = mesh.points.mutable_data();
    mesh.record.numTris = static_cast<int>(numTris);
    mesh.record.tTable = numTris > 0 ? mesh.corners.mutable_data() : nullptr;
    return mesh;
}

void writeMesh(const py::object &path, const py::object &pointsLike, const py::object &trianglesLike) {
    std::string name = fileSystemPath(path);
    OwnedMesh mesh = ownedMesh(pointsLike, trianglesLike);
    Shape_Typ &record = mesh.record;
    OutputError error;
    int writerError = 0;
    bool written;
    {
        py::gil_scoped_release unlocked;
        written = writeOutputWhole(
            name, OutputRules(),
            [&](const char *temporary, std::string *reason) {
                Bsv2Cause cause = BSV2_CAUSE_NONE;
                if (writeShapeToFileWithCause(&record, temporary, nullptr, 0, &cause, &writerError) == 0) return true;
                *reason = std::strerror(writerError != 0 ? writerError : EIO);
                return false;
            },
            &error);
    }
    if (!written) {
        bool opening = error.failure != OutputFailure::kCannotWrite && error.failure != OutputFailure::kReaderGone;
        raiseOSError(
            error.systemError != 0 ? error.systemError : writerError,
            (opening ? "Unable to open " + name + " for writing: " : "Unable to write " + name + ": ") + error.reason,
            path);
    }
}

// A bytes-like object's bytes, held for as long as this lives.
struct HeldBytes {
    Py_buffer view;
    explicit HeldBytes(const py::object &data) {
        // Contiguous bytes only: a strided view has no one address.
        if (PyObject_GetBuffer(data.ptr(), &view, PyBUF_SIMPLE) != 0) throw py::error_already_set();
    }
    ~HeldBytes() { PyBuffer_Release(&view); }
    HeldBytes(const HeldBytes &) = delete;
    HeldBytes &operator=(const HeldBytes &) = delete;
};

py::tuple loadsMesh(const py::object &data) {
    HeldBytes bytes(data);
    char message[128];
    Bsv2Cause cause = BSV2_CAUSE_NONE;
    Shape shape;
    {
        py::gil_scoped_release unlocked;
        shape = readShapeFromMemory(static_cast<const char *>(bytes.view.buf), static_cast<size_t>(bytes.view.len),
                                    message, sizeof message, &cause);
    }
    if (shape == nullptr) {
        if (cause == BSV2_CAUSE_NO_MEMORY) {
            PyErr_NoMemory();
            throw py::error_already_set();
        }
        throw py::value_error(trimmed(message));
    }
    return meshArrays(shape);
}

py::bytes dumpsMesh(const py::object &pointsLike, const py::object &trianglesLike) {
    OwnedMesh mesh = ownedMesh(pointsLike, trianglesLike);
    char *text = nullptr;
    size_t size = 0;
    int status;
    {
        py::gil_scoped_release unlocked;
        status = writeShapeToMemory(&mesh.record, &text, &size, nullptr);
    }
    if (status != 0) {
        PyErr_NoMemory();
        throw py::error_already_set();
    }
    // Released whatever becomes of the copy.
    std::unique_ptr<char, void (*)(char *)> held(text, releaseShapeText);
    return py::bytes(text, size);
}

// readShapeFromFile and destroyShape alone, for the benchmark that weighs
// what the arrays cost on top of them.
bool readAndRelease(const py::object &path) {
    std::string name = fileSystemPath(path);
    py::gil_scoped_release unlocked;
    Shape shape = readShapeFromFile(name.c_str());
    destroyShape(shape);
    return shape != nullptr;
}

}  // namespace

PYBIND11_MODULE(bsv2, module) {
    module.doc() =
        "BSV2 triangle mesh files as NumPy arrays.\n\n"
        "read(path) -> (points, triangles); write(path, points, triangles);\n"
        "loads(bytes) -> (points, triangles); dumps(points, triangles) -> bytes.";
    module.attr("__version__") = BSV2_VERSION_STRING;
    module.def("read", &readMesh, py::arg("path"),
               "Reads a BSV2 file.\n\n"
               "Returns (points, triangles): a (V, 3) float32 array of vertex coordinates and a\n"
               "(T, 3) int32 array of vertex numbers (counting from 0). Both use the file's\n"
               "shape in memory without copying; it is released when neither array is left.\n"
               "A negative triangle count gives a (0, 3) array.\n\n"
               "Raises OSError (FileNotFoundError, IsADirectoryError, ...) when the file\n"
               "cannot be opened or read, ValueError when it is not a valid BSV2 file (with\n"
               "the library's message), MemoryError when its tables cannot be allocated.");
    module.def("write", &writeMesh, py::arg("path"), py::arg("points"), py::arg("triangles"),
               "Writes a BSV2 file.\n\n"
               "points: array-like of real numbers of shape (V, 3), V >= 1, converted to\n"
               "float32; triangles: array-like of integers of shape (T, 3), vertex numbers in\n"
               "0 .. V - 1 (floats, booleans and strings are refused, not rounded).\n"
               "Points of float64 or wider that a float32 cannot hold (finite, but infinite as\n"
               "float32) are refused. Shapes and counts are checked before anything is\n"
               "converted, every vertex number as it is copied into the module's own tables,\n"
               "and all before the file is opened (ValueError; MemoryError when the tables\n"
               "cannot be made). The file is written whole or not at all: to a temporary\n"
               "file beside it, synced and renamed over it, so that a write that fails leaves\n"
               "the old file (and its hard links and link targets) as it was; a pipe or a\n"
               "device is written to directly. Raises OSError when the file cannot be opened\n"
               "or written, no temporary file can be made beside it, a symbolic link of\n"
               "another user in a world-writable sticky folder leads to it, or the reader of\n"
               "a pipe went away.");
    module.def("loads", &loadsMesh, py::arg("data"),
               "Reads BSV2 text from a bytes-like object.\n\n"
               "Returns (points, triangles) as read does for a file of these bytes.\n"
               "Raises ValueError when they are not a valid BSV2 file (with the library's\n"
               "message), MemoryError when the tables cannot be allocated. Counts larger\n"
               "than the bytes can hold fail as the data running out would, without\n"
               "allocating them.");
    module.def("dumps", &dumpsMesh, py::arg("points"), py::arg("triangles"),
               "The BSV2 text write would write, as bytes.\n\n"
               "Takes and checks points and triangles as write does (ValueError), and\n"
               "raises MemoryError when there is no room for the tables or the text.");
    module.def("_read_and_release", &readAndRelease, py::arg("path"),
               "Reads a file and releases the shape at once, with no arrays: the benchmark's\n"
               "measure of the library alone. True when the file was read.");
}
