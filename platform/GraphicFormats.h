#pragma once
// The program's registry of graphic formats: which graphic class reads which file extension, with its
// description and clipboard format name. Filled at start, emptied at exit.
#include <QString>
#include <vector>

struct GraphicFormat {
    QString extension;
    QString description;
    QString clipboardFormat;
};

class GraphicFormats {
  public:
    void add(const GraphicFormat& format);
    void clear() { formats_.clear(); }
    // The format registered for an extension (case-insensitive), or nullptr.
    const GraphicFormat* find(const QString& extension) const;
    const std::vector<GraphicFormat>& all() const { return formats_; }

  private:
    std::vector<GraphicFormat> formats_;
};
