// The section operations of the main window: Upload, Extract and Clear.
#include "Unit1.h"

void TForm1::btn1Click() {
    if (scanning_)
        return;
}

void TForm1::btn3Click() {
    if (scanning_)
        return;
}

void TForm1::btn4Click() {
    if (scanning_)
        return;
}
