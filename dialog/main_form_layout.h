#pragma once

#include "dialog/gui_layout.h"

// The dialog's one form: the page control with the server page and the two
// settings pages, the OK and notify buttons below it.
const TFormLayout& ServerMainFormLayout();
