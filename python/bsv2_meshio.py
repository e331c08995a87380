"""BSV2 as a meshio format: importing this module registers it.

    import meshio, bsv2_meshio
    mesh = meshio.read("model.bsv2")        # one "triangle" cell block
    meshio.write("model.vtu", mesh)         # and back:
    meshio.write("copy.bsv2", meshio.read("model.vtu"))

Writing keeps the triangle blocks of a mesh (joined into one) and leaves out
every other cell type with a warning. Errors are the bsv2 module's OSError and
ValueError; meshio's ReadError is never raised, since meshio turns it into a
printed message and an exit.
"""
import warnings

import meshio
import numpy

import bsv2

__all__ = ["read", "write"]


def read(filename):
    """Reads a BSV2 file as a meshio.Mesh of one "triangle" cell block."""
    points, triangles = bsv2.read(filename)
    return meshio.Mesh(points, [("triangle", triangles)])


def write(filename, mesh, **_options):
    """Writes the triangle cells of a meshio.Mesh as a BSV2 file."""
    blocks = []
    for block in mesh.cells:
        if block.type == "triangle":
            blocks.append(numpy.asarray(block.data))
        else:
            warnings.warn("BSV2 holds triangles only: %d %s cells left out" % (len(block.data), block.type))
    triangles = numpy.concatenate(blocks) if blocks else numpy.zeros((0, 3), dtype=numpy.int32)
    points = numpy.asarray(mesh.points)
    if points.ndim == 2 and points.shape[1] == 2:  # 2-D meshes lie in z = 0
        points = numpy.column_stack([points, numpy.zeros(len(points))])
    bsv2.write(filename, points, triangles)


meshio.register_format("bsv2", [".bsv2"], read, {"bsv2": write})
