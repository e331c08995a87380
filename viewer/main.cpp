// The viewer's entry: opens the window, loads up to two BSV2 files and runs
// the GLUT event loop.
#include <GL/glut.h>

#include <cstdio>

#include "view_setup.h"
#include "viewer.h"

int main(int argc, char **argv) {
    // GLUT takes out its own options (such as -geometry) and lowers argc.
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_SINGLE);
    // Set after glutInit, so these win over any -geometry option.
    glutInitWindowSize(Vx_max - Vx_min, Vy_max - Vy_min);
    glutInitWindowPosition(kWindowX, kWindowY);
    glutCreateWindow(argv[0]);

    if (argc > 3) {
        std::printf("Usage: %s fileName\n", argv[0]);
        return 1;
    }
    // A file that fails to load has had its message written by the reader;
    // its slot stays null and start-up goes on.
    if (argc > 1) shape = readShapeFromFile(argv[1]);
    if (argc > 2) shape2 = readShapeFromFile(argv[2]);

    init();
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    glutMouseFunc(mouse);
    glutMainLoop();
    return 0;
}
