// SPDX-License-Identifier: MIT
#pragma once
#include <QFont>

// The look the fixed layout was drawn for: the classic widget style, whose group boxes
// carry their caption in the frame line, an 11-pixel narrow sans-serif font and the menu
// bar inside the window. Call it once after the application object exists.
void applyProgramLook();

// The program's font: the first installed of the families the layout was drawn with, else
// DejaVu Sans, else the system's sans-serif. The family is looked up once; naming only an
// installed one spares every later font request the search through missing ones.
QFont programFont();
