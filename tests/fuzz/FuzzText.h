// The fuzz input as the text a reply reader gets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline std::string FuzzText(const std::uint8_t* data, std::size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}
