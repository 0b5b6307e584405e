#include "GraphicFormats.h"

void GraphicFormats::add(const GraphicFormat& format) {
    for (GraphicFormat& f : formats_)
        if (f.extension.compare(format.extension, Qt::CaseInsensitive) == 0) {
            f = format;
            return;
        }
    formats_.push_back(format);
}

const GraphicFormat* GraphicFormats::find(const QString& extension) const {
    for (const GraphicFormat& f : formats_)
        if (f.extension.compare(extension, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}
