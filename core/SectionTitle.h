#pragma once
// The title line a section shows in the list (and in tarvel-cli's list), from its record.
#include "SectionTable.h"

#include <QString>

// "Universal fw. application (PGLDR3)", "Application for 5.1.4/4", "GIF Image", "Unknown data"; for an
// empty record what its kind gives (the list draws no title for an empty section).
QString sectionTitle(const SectionRecord& record);
