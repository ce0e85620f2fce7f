// The program's application key for the streaming library, handed over in the
// session configuration.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kApplicationKeySize = 321;

extern const uint8_t g_application_key[kApplicationKeySize];
