// The render-to-texture stack: scenes draw into pooled colour buffers that
// nest without limit, and read what they drew back as a texture id or as a
// grid of average colours.
#pragma once

// Starts drawing into a new render target of width x height (-1: the output
// size, -2: half of it; below -2: 256 x 256 with a warning) and clears it.
void texRenderBegin(int width, int height, bool isFloat);
// Ends the innermost render target and returns a texture id for what was
// drawn, or 0 when no target is open. The target stays taken until
// texRenderFinished.
int texRenderEnd();
// Gives a rendered texture back to the pool and forgets its id.
void texRenderFinished(int id);

// Writes columns x rows x 3 floats: the average red, green and blue of each
// cell of the current viewport, bottom row first. A cell that holds no pixel
// is written as zeros.
void sumViewport(float* out, int columns, int rows);
