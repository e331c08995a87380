// The Python module bsv2: BSV2 files as NumPy arrays, through the Shape
// library's reporting reader and writer.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <string>
#include <type_traits>

#include "shape.h"

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
        if (cause == BSV2_CAUSE_NO_MEMORY) {
            PyErr_NoMemory();
            throw py::error_already_set();
        }
        // With the system's error number, OSError becomes the subclass that
        // names it: FileNotFoundError, IsADirectoryError, PermissionError.
        if (cause == BSV2_CAUSE_CANNOT_OPEN || cause == BSV2_CAUSE_CANNOT_READ)
            raiseOSError(systemError, trimmed(message), path);
        throw py::value_error(name + ": " + trimmed(message));
    }
    // Both arrays look into the shape's own tables; the capsule releases the
    // shape when the last array that uses it goes.
    py::capsule owner(shape, [](void *released) { destroyShape(static_cast<Shape>(released)); });
    py::array_t<float> points({static_cast<py::ssize_t>(shape->numVertices), py::ssize_t(3)}, shape->vTable, owner);
    py::ssize_t numTris = numTriangles(shape) > 0 ? numTriangles(shape) : 0;
    py::array_t<int> triangles({numTris, py::ssize_t(3)}, numTris > 0 ? shape->tTable : nullptr, owner);
    return py::make_tuple(points, triangles);
}

using Corners = py::array_t<int, py::array::c_style>;

// An array-like as a C-contiguous NumPy array of its own type. NumPy's
// errors come through as they are: ValueError for ragged lists, MemoryError
// when there is no room.
py::array asArray(const py::object &like) {
    return py::module_::import("numpy").attr("ascontiguousarray")(like).cast<py::array>();
}

char kindOf(const py::array &array) { return array.dtype().attr("kind").cast<char>(); }

std::string typeName(const py::array &array) { return py::str(array.dtype()).cast<std::string>(); }

// The points as a C-contiguous float32 array. Only numbers that are real
// are taken: no booleans, complex numbers, strings or objects.
py::array_t<float> pointsOf(const py::object &pointsLike) {
    py::array array = asArray(pointsLike);
    char kind = kindOf(array);
    if (kind != 'f' && kind != 'i' && kind != 'u' && array.size() > 0)
        throw py::value_error("points must be real numbers, not " + typeName(array));
    return array.attr("astype")("float32", py::arg("copy") = false).cast<py::array_t<float>>();
}

// Checks vertex numbers of type Wide against 32 bits and copies them.
template <typename Wide>
void narrowCorners(const py::array &wide, int *to) {
    const Wide *from = static_cast<const Wide *>(wide.data());
    for (py::ssize_t i = 0; i < wide.size(); i++) {
        bool fits = from[i] <= static_cast<Wide>(INT_MAX);
        if constexpr (std::is_signed<Wide>::value) fits = fits && from[i] >= INT_MIN;
        if (!fits) throw py::value_error("vertex number " + std::to_string(from[i]) + " does not fit in 32 bits");
        to[i] = static_cast<int>(from[i]);
    }
}

// The triangles as a C-contiguous int32 array: the caller's own when it is
// one already, otherwise converted once. Only integers are taken (a float,
// a boolean or a string is no vertex number, and rounding one would write
// another triangle than was given); other integer types are checked against
// 32 bits in their own width, so that nothing is wrapped.
Corners cornersOf(const py::object &trianglesLike) {
    if (py::isinstance<Corners>(trianglesLike)) return py::reinterpret_borrow<Corners>(trianglesLike);
    py::array array = asArray(trianglesLike);
    char kind = kindOf(array);
    if (kind != 'i' && kind != 'u' && array.size() > 0)
        throw py::value_error("triangles must be integers, not " + typeName(array));
    if (array.ndim() != 2 || array.shape(1) != 3) throw py::value_error("triangles must have shape (T, 3)");
    Corners corners({array.shape(0), py::ssize_t(3)});
    py::array wide = array.attr("astype")(kind == 'u' ? "uint64" : "int64", py::arg("copy") = false);
    if (kind == 'u') {
        narrowCorners<unsigned long long>(wide, corners.mutable_data());
    } else {
        narrowCorners<long long>(wide, corners.mutable_data());
    }
    return corners;
}

void writeMesh(const py::object &path, const py::object &pointsLike, const py::object &trianglesLike) {
    std::string name = fileSystemPath(path);
    py::array_t<float> points = pointsOf(pointsLike);
    if (points.ndim() != 2 || points.shape(1) != 3) throw py::value_error("points must have shape (V, 3)");
    Corners corners = cornersOf(trianglesLike);
    if (corners.ndim() != 2 || corners.shape(1) != 3) throw py::value_error("triangles must have shape (T, 3)");
    py::ssize_t numVertices = points.shape(0), numTris = corners.shape(0);
    if (numVertices < 1) throw py::value_error("a BSV2 file holds at least one vertex");
    if (numVertices > INT_MAX || numTris > INT_MAX) throw py::value_error("too many vertices or triangles for BSV2");
    const int *corner = corners.data();
    for (py::ssize_t i = 0; i < 3 * numTris; i++) {
        if (corner[i] < 0 || corner[i] >= numVertices)
            throw py::value_error("triangle " + std::to_string(i / 3) + " names vertex " + std::to_string(corner[i]) +
                                  ", outside 0 .. " + std::to_string(numVertices - 1));
    }
    // A record over the arrays' own memory: the writer only reads it.
    Shape_Typ record;
    record.numVertices = static_cast<int>(numVertices);
    record.vTable = const_cast<float *>(points.data());
    record.numTris = static_cast<int>(numTris);
    record.tTable = numTris > 0 ? const_cast<int *>(corners.data()) : nullptr;
    char message[256];
    Bsv2Cause cause = BSV2_CAUSE_NONE;
    int status, systemError = 0;
    {
        py::gil_scoped_release unlocked;
        status = writeShapeToFileWithCause(&record, name.c_str(), message, sizeof message, &cause, &systemError);
        // Never leave a partial file; but a device such as /dev/full, or a
        // pipe, is not ours to remove.
        struct stat written;
        if (cause == BSV2_CAUSE_CANNOT_WRITE && lstat(name.c_str(), &written) == 0 && S_ISREG(written.st_mode))
            std::remove(name.c_str());
    }
    if (status != 0) raiseOSError(systemError, trimmed(message), path);
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
        "read(path) -> (points, triangles); write(path, points, triangles).";
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
               "Everything is checked before the file is opened (ValueError; MemoryError when\n"
               "the arrays cannot be converted). Raises OSError when the file cannot be\n"
               "opened or written; a write that fails part way removes the file.");
    module.def("_read_and_release", &readAndRelease, py::arg("path"),
               "Reads a file and releases the shape at once, with no arrays: the benchmark's\n"
               "measure of the library alone. True when the file was read.");
}
