#pragma once
// What the side panel, the status bar and the action buttons show for a selected section. Captions are
// as the window writes them: "\r\n" breaks a line, "&&" shows one ampersand.
#include "SectionTable.h"

#include <string>

struct SectionInfo {
    std::string title;       // ext1: "Section 18-09"
    std::string sectionId;   // status panel 0: "18-09"
    std::string usedBy;      // Info1
    std::string contentType; // Info2
    std::string sizeUsed;    // Info3
    std::string sizeStatus;  // status panel 1
    std::string sectionSize; // Info4
    bool showRequirements = false;
    std::string phone;           // Req1, meaningful only with showRequirements
    std::string firmware;        // Req2, meaningful only with showRequirements
    std::string uploadCaption;   // btn1
    bool actionsEnabled = false; // View, Extract, Clear
};

// The information for the section in slot (0 to 30) holding record.
SectionInfo sectionInfo(int slot, const SectionRecord& record);

// Which loaders use the section in slot.
std::string sectionUsedBy(int slot);
// The content type of a kind, as the panel names it.
std::string contentTypeText(ContentKind kind);
