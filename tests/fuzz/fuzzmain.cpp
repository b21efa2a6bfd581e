// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer's entry for one target; QUILLON_FUZZ_ENTRY names the function it calls.

#include "fuzzentries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return quillon::fuzz::QUILLON_FUZZ_ENTRY(data, size);
}
