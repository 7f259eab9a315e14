// Symbol visibility for the module library: only the window classes are exported.
#pragma once

#define KX_EXPORT __attribute__((visibility("default")))
