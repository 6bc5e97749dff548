// Native: standard output goes to a file while the capture lives.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "box_capture.h"
#include "platform/text.h"

namespace tavren {

namespace {

struct Redirect {
    int saved = -1;
    std::string path;
    std::vector<MessageBoxSeen> boxes;
};

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
    return text;
}

}  // namespace

BoxCapture::BoxCapture() {
    auto* redirect = new Redirect;
    char name[] = "/tmp/tavren_boxes_XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) {
        std::fflush(stdout);
        redirect->path = name;
        redirect->saved = dup(1);
        dup2(fd, 1);
        close(fd);
    }
    state = redirect;
}

BoxCapture::~BoxCapture() {
    Boxes();
    auto* redirect = static_cast<Redirect*>(state);
    if (!redirect->path.empty()) std::remove(redirect->path.c_str());
    delete redirect;
}

std::vector<MessageBoxSeen> BoxCapture::Boxes() {
    auto* redirect = static_cast<Redirect*>(state);
    if (redirect->saved < 0) return redirect->boxes;
    std::fflush(stdout);
    dup2(redirect->saved, 1);
    close(redirect->saved);
    redirect->saved = -1;
    std::ifstream in(redirect->path, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("messagebox ", 0) != 0) {
            // The instrument's and the test's own output, given back.
            std::fwrite(line.data(), 1, line.size(), stdout);
            std::fputc('\n', stdout);
            continue;
        }
        const std::string box = ReplaceAll(line.substr(11), "\\r\\n", "\r\n");
        const size_t colon = box.find(": ");
        const std::string caption = box.substr(0, colon);
        const std::string text = colon == std::string::npos ? "" : box.substr(colon + 2);
        redirect->boxes.push_back(MessageBoxSeen{FromUtf8(caption), FromUtf8(text)});
    }
    std::fflush(stdout);
    return redirect->boxes;
}

std::string BoxCapture::Text() {
    std::string text;
    for (const MessageBoxSeen& box : Boxes()) text += ToUtf8(box.caption) + ": " + ToUtf8(box.text) + "\n";
    return text;
}

}  // namespace tavren
