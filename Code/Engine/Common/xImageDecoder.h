#pragma once

#include "xImage.h"

#include <cstdint>
#include <memory>
#include <vector>

// The picture in `bytes` as this platform's canvas draws it; null for empty or
// undecodable bytes, with nothing logged (a missing picture is skipped silently).
std::shared_ptr<xImage> DecodeImage(const std::vector<uint8_t>& bytes);
