// The nDPI library's C interface, included once for the capture source's C++ files.
#pragma once

extern "C" {
#include <ndpi_api.h>
}
