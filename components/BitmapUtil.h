// Drawing routines of the picture components: a stretch blit that leaves one colour of the
// source transparent, the canvas-level wrappers that draw a bitmap keyed on a colour, and the
// road between bitmaps and bitmap files in memory (BitmapUtilCore.h). The platform has no
// device contexts: the masking runs on the canvases' pixel buffers with the same result
// (source pixels of the key colour show the destination's previous content).
// GUI thread only.
#pragma once

#include <cstdint>
#include <string>

#include "components/BitmapUtilCore.h"
#include "platform/gfx/Bitmap.h"
#include "platform/gfx/Canvas.h"

// The colour resolved to RGB with the palette-relative flag 0x02000000.
TColor PaletteRelativeColor(TColor Color);

// Copies the source rectangle, stretched (nearest pixel) to the destination rectangle, onto
// the destination; source pixels of TransparentColor leave the destination as it was.
// Palette is accepted for the callers' sake; the canvases are true-colour.
void MaskedStretchBlt(TCanvas& Dest, int DestX, int DestY, int DestWidth, int DestHeight,
                      TCanvas& Source, int SourceX, int SourceY, int SourceWidth,
                      int SourceHeight, uintptr_t Palette, TColor TransparentColor);

// Draws the bitmap keyed on TransparentColor: NoColor draws it plainly, clDefault keys on
// its bottom-left pixel. A destination size below 1 takes the bitmap's size; a source size
// below 1 takes the whole bitmap.
void DrawBitmapKeyed(TCanvas& Canvas, TBitmap& Bitmap, TColor TransparentColor, int DestX,
                     int DestY, int DestWidth = 0, int DestHeight = 0, int SourceX = 0,
                     int SourceY = 0, int SourceWidth = 0, int SourceHeight = 0);
void DrawBitmapRectKeyed(TCanvas& Canvas, int DestX, int DestY, int DestWidth, int DestHeight,
                         const TRect& Source, TBitmap& Bitmap, TColor TransparentColor);

// A 24-bit bitmap file of the bitmap's pixels.
std::string BitmapToDib24(const TBitmap& Bitmap);
// Loads a bitmap file in memory (1, 4, 8, 16, 24 or 32 bits) into the bitmap; data that is
// no valid bitmap file raises EInvalidGraphic "Bitmap image is not valid", a picture beyond
// MaxFramePixels or one that cannot be allocated EOutOfMemory.
void LoadBitmapFromDib(TBitmap& Bitmap, const std::string& File);

// Gives the format code the platform's system colours and the screen-cursor reset of the
// unsupported-conversion message. Called when the picture formats register; idempotent.
void InstallPictureServices();
