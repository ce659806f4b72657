// modelDescription.xml of an exported block (FMI 2.0): variables from its layout and
// description, units in SI base units, the model structure with the block's direct
// feed-through, and both interfaces.
#pragma once

#include "block_knowledge.h"
#include "fmu_layout.h"

#include <array>
#include <string>
#include <vector>

namespace tavrel::fmi {

struct ExportedBlock {
    ExportDescription description;
    FmuLayout layout;
    std::vector<bool> feed_through; // per input port, as the block declares it
    bool model_exchange = true;
    bool co_simulation = true;
};

// Exponents of the SI base units kg, m, s, A, K, mol, cd and rad of a unit text such as "Pa",
// "m3/s", "kg/m3", "1/s" or "1"; throws std::runtime_error for a symbol it does not know.
std::array<int, 8> baseUnitExponents(const std::string& unit);

// A GUID derived from the block and its structure (names, shapes, counts), not its values.
std::string structureGuid(const FmuLayout& layout);

std::string modelDescriptionXml(const ExportedBlock& block);

} // namespace tavrel::fmi
