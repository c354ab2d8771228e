// Documents: Type "Doc" and the extension as Format. Any thread.
#pragma once

#include "import/ExtensionImporter.h"

class DocImporter : public ExtensionImporter {
public:
    DocImporter();
};
