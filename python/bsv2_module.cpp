// The Python module bsv2: BSV2 files as NumPy arrays, through the Shape
// library's reporting reader and writer.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>

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
    int allocationFailed = 0;
    int openErrno = 0;
    Shape shape;
    {
        py::gil_scoped_release unlocked;
        errno = 0;
        shape = readShapeFromFileReporting(name.c_str(), message, sizeof message, &allocationFailed);
        openErrno = errno;
    }
    if (shape == nullptr) {
        if (allocationFailed) {
            PyErr_NoMemory();
            throw py::error_already_set();
        }
        // Only a file that cannot be opened gives "Read error!".
        if (trimmed(message) == "Read error!") raiseOSError(openErrno, trimmed(message), path);
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

using Points = py::array_t<float, py::array::c_style | py::array::forcecast>;
using Corners = py::array_t<int, py::array::c_style>;
using WideCorners = py::array_t<long long, py::array::c_style | py::array::forcecast>;

// The triangles as a C-contiguous int32 array: the caller's own when it is
// one already, otherwise converted once. Other integer types go through 64
// bits, so that a vertex number beyond 32 bits is refused, not wrapped.
Corners cornersOf(const py::object &trianglesLike) {
    if (py::isinstance<Corners>(trianglesLike)) return py::reinterpret_borrow<Corners>(trianglesLike);
    WideCorners wide = WideCorners::ensure(trianglesLike);
    if (!wide) throw py::error_already_set();
    if (wide.ndim() != 2 || wide.shape(1) != 3) throw py::value_error("triangles must have shape (T, 3)");
    Corners corners({wide.shape(0), py::ssize_t(3)});
    const long long *from = wide.data();
    int *to = corners.mutable_data();
    for (py::ssize_t i = 0; i < wide.size(); i++) {
        if (from[i] < INT_MIN || from[i] > INT_MAX)
            throw py::value_error("vertex number " + std::to_string(from[i]) + " does not fit in 32 bits");
        to[i] = static_cast<int>(from[i]);
    }
    return corners;
}

void writeMesh(const py::object &path, const py::object &pointsLike, const py::object &trianglesLike) {
    std::string name = fileSystemPath(path);
    Points points = Points::ensure(pointsLike);
    if (!points) throw py::error_already_set();
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
    int status, writeErrno;
    {
        py::gil_scoped_release unlocked;
        errno = 0;
        status = writeShapeToFileReporting(&record, name.c_str(), message, sizeof message);
        writeErrno = errno;
        // Never leave a partial file; but a device such as /dev/full, or a
        // pipe, is not ours to remove.
        struct stat written;
        if (status == 3 && lstat(name.c_str(), &written) == 0 && S_ISREG(written.st_mode)) std::remove(name.c_str());
    }
    if (status != 0) raiseOSError(writeErrno, trimmed(message), path);
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
               "Raises OSError when the file cannot be opened, ValueError when it is not a\n"
               "valid BSV2 file (with the library's message), MemoryError when its tables\n"
               "cannot be allocated.");
    module.def("write", &writeMesh, py::arg("path"), py::arg("points"), py::arg("triangles"),
               "Writes a BSV2 file.\n\n"
               "points: array-like of shape (V, 3), V >= 1, converted to float32;\n"
               "triangles: array-like of shape (T, 3) of vertex numbers in 0 .. V - 1.\n"
               "Everything is checked before the file is opened (ValueError). Raises OSError\n"
               "when the file cannot be opened or written; a write that fails part way\n"
               "removes the file.");
    module.def("_read_and_release", &readAndRelease, py::arg("path"),
               "Reads a file and releases the shape at once, with no arrays: the benchmark's\n"
               "measure of the library alone. True when the file was read.");
}
