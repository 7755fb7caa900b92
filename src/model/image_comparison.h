#pragma once

// Two register images side by side, register by register, over both areas: what a controller
// holds against a file, or one file against another.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/register_image.h"

namespace velmora {

enum class RegisterState : std::uint8_t {
    Same,
    Differs,
    LeftOut,  // one side does not give the register (a data set gives only some)
};

struct ComparedRegister {
    std::uint16_t reg = 0;
    std::uint16_t left = 0;
    std::uint16_t right = 0;
    RegisterState state = RegisterState::Same;
};

struct ImageComparison {
    std::vector<ComparedRegister> registers;  // every register of both areas, in register order
    std::size_t differing = 0;
    std::size_t leftOut = 0;

    bool equal() const { return differing == 0; }
};

// Registers one side does not give are left out, not compared.
ImageComparison CompareWholeImages(const RegisterImage& left, const RegisterImage& right);

}  // namespace velmora
