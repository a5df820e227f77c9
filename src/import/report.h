// What the importer prints: the inventory of each file (--list), the levels
// an import keeps, and the summary after an import.
#pragma once

#include <cstdio>

#include "import/direct_conversion.h"
#include "import/inventory.h"
#include "import/output_folder.h"
#include "import/plan.h"
#include "import/writer.h"

namespace i2m {

// One file's kind, grid, data times, recognised and ignored fields.
void print_source(std::FILE* out, const SourceInventory& source);

// The levels kept and each level dropped with its reason.
void print_levels(std::FILE* out, const LevelChoice& levels, const char* kept_heading);

// The data time files an import writes, one per line.
void print_file_names(std::FILE* out, const ImportPlan& plan);

// The closing summary of an import; with `conversion`, what --convert wrote.
void print_import_summary(std::FILE* out, const Inventory& inv, const ImportPlan& plan, const MissingTally& missing,
                          const OutputFolder& folder, const std::string& dir,
                          const DirectConversion* conversion = nullptr);

}  // namespace i2m
