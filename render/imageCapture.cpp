// Capture of the viewport into an image file (screenshots and thumbnails).
#include <GL/glew.h>

#include "render/imageFile.h"

bool imageCapture(const char* path, bool flip) {
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    Image image = imageMake(viewport[2], viewport[3], false);
    if (image.width == 0 || image.height == 0) return false;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, image.width, image.height, GL_RGB, GL_UNSIGNED_BYTE, image.pixels.data());
    if (flip) imageFlip(&image);
    return imageSave(path, image);
}
