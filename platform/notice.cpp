// The modal notice on this platform: the caption and the text go to
// standard error; when standard input is a terminal the call blocks until
// the user presses Enter, standing in for the OK button.
#include "client/notice.h"

#include <unistd.h>

#include <cstdio>

void notice_show(const char *text) {
    std::fprintf(stderr, "[Brox Library] %s\n", text);
    if (!isatty(STDIN_FILENO)) return;
    std::fprintf(stderr, "Press Enter to continue (OK).\n");
    int c;
    do c = std::getchar();
    while (c != '\n' && c != EOF);
}
