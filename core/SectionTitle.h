#pragma once
// The texts that name a section: its identity and the title line it shows in the list (and in
// tarvel-cli's list).
#include "SectionTable.h"

#include <QString>

// "Universal fw. application (PGLDR3)", "Application for 5.1.4/4", "GIF Image", "Unknown data"; for an
// empty record what its kind gives (the list draws no title for an empty section).
QString sectionTitle(const SectionRecord& record);

// "02-10", "18-09": sectionIdText as a QString, for messages.
QString sectionId(int slot);
