#include "mime/line_splitter.h"

namespace cw {

size_t countLines(const char* text) {
    size_t count = 0;
    bool inLine = false;
    for (; *text != '\0'; ++text) {
        if (*text == '\n') {
            inLine = false;
        } else if (!inLine) {
            inLine = true;
            ++count;
        }
    }
    return count;
}

size_t cutLines(char* area, const char** lines, size_t maxLines) {
    size_t stored = 0;
    bool inLine = false;
    for (char* p = area; *p != '\0'; ++p) {
        if (*p == '\n') {
            *p = '\0';
            inLine = false;
        } else if (!inLine) {
            inLine = true;
            if (stored < maxLines) {
                lines[stored++] = p;
            }
        }
    }
    return stored;
}

}  // namespace cw
