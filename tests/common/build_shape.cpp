#include "build_shape.h"

#include <algorithm>

Shape buildShape(int numVertices, int numTris, const std::vector<float> &vertices, const std::vector<int> &corners) {
    Shape shape = createShape(numVertices, numTris);
    if (shape == nullptr) return nullptr;
    if (shape->vTable != nullptr)
        std::copy_n(vertices.begin(), std::min<long>(vertices.size(), 3L * numVertices), shape->vTable);
    if (shape->tTable != nullptr)
        std::copy_n(corners.begin(), std::min<long>(corners.size(), 3L * numTris), shape->tTable);
    return shape;
}

Shape buildShape(const std::vector<float> &vertices, const std::vector<int> &corners) {
    return buildShape(static_cast<int>(vertices.size() / 3), static_cast<int>(corners.size() / 3), vertices, corners);
}
