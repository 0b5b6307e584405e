#include "LabelText.h"

QString labelDisplayText(const QString& caption) {
    QString shown;
    shown.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        const QChar c = caption[i];
        if (c == '\r' && i + 1 < caption.size() && caption[i + 1] == '\n')
            continue; // the '\n' that follows makes the break
        if (c == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&') {
                shown += '&';
                ++i;
            }
            continue; // a lone '&' only marks the accelerator
        }
        shown += c;
    }
    return shown;
}
