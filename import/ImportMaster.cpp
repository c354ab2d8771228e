#include "import/ImportMaster.h"

#include "core/UIGateway.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_path.h"
#include "i4min/string/i4_err.h"
#include "i4min/string/i4_string.h"
#include "import/AVIImporter.h"
#include "import/AppImporter.h"
#include "import/DefaultImporter.h"
#include "import/DocImporter.h"
#include "import/FlacImporter.h"
#include "import/MP3Importer.h"
#include "import/PictureImporter.h"
#include "import/RMImporter.h"
#include "meta/FileMeta.h"
#include "util/LLView.h"

ImportMaster theImportMaster;

ImportMaster::ImportMaster() {}

ImportMaster::~ImportMaster() {
    clear();
}

void ImportMaster::clear() {
    for (Importer* i : LLView<Importer>(importers)) delete i;
    importers.clear();
}

void ImportMaster::registerImporters() {
    clear();
    add(new MP3Importer);
    add(new AVIImporter);
    add(new PictureImporter);
    add(new RMImporter);
    add(new AppImporter);
    add(new DocImporter);
    add(new FlacImporter);
    add(new DefaultImporter);
}

void ImportMaster::add(Importer* importer) {
    importers.append(importer);
}

bool ImportMaster::import(FileMeta& record) const {
    i4_file* file = i4_open(record.getPath(), I4_READ);
    if (!file) return false;
    i4_string dir, base, ext("");
    i4_split_path(record.getName(), dir, base, ext);
    ext.to_lower();
    try {
        for (Importer* i : LLView<Importer>(importers)) {
            if (file->seek(0) != 0) break;
            if (i->import(record, *file, ext.c_str())) break;
        }
    } catch (const i4_err&) {
        theUI->debug("Exception in import\n");
    }
    delete file;
    return true;
}
