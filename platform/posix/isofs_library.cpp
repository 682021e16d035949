#include "platform/isofs_library.h"

namespace vostrel::platform {

namespace {

// Holders in the process; the library runs while there is one.
int holders = 0;
bool started = false;

}  // namespace

IsoLibrary::IsoLibrary() {
  if (holders++ == 0) {
    started = iso_init() >= 0;
    if (started) {
      iso_set_msgs_severities(const_cast<char*>("SORRY"), const_cast<char*>("NEVER"),
                              const_cast<char*>("vostrel-kit"));
      // Names on Linux are UTF-8: Joliet's UTF-16 names are turned into it,
      // and a kit's names into UTF-16.
      iso_set_local_charset(const_cast<char*>("UTF-8"), 0);
    }
  }
  ok_ = started;
}

IsoLibrary::~IsoLibrary() {
  if (--holders == 0 && started) {
    iso_finish();
    started = false;
  }
}

bool IsoFailed(int code, std::string& error) {
  if (code >= 0) return false;
  const char* text = iso_error_to_msg(code);
  error = text != nullptr ? text : "libisofs error " + std::to_string(code);
  return true;
}

std::vector<std::string> PendingIsoMessages(std::size_t& more) {
  constexpr std::size_t kKept = 100;
  std::vector<std::string> messages;
  more = 0;
  int code = 0, image = 0;
  char message[ISO_MSGS_MESSAGE_LEN];
  char severity[80];
  while (iso_obtain_msgs(const_cast<char*>("SORRY"), &code, &image, message, severity) > 0) {
    if (messages.size() < kKept) {
      messages.emplace_back(message);
    } else {
      ++more;
    }
  }
  return messages;
}

std::string PendingIsoFailures() {
  constexpr std::size_t kShown = 3;
  std::size_t more = 0;
  const std::vector<std::string> messages = PendingIsoMessages(more);
  std::string text;
  for (std::size_t i = 0; i < messages.size() && i < kShown; ++i) {
    if (!text.empty()) text += "; ";
    text += messages[i];
  }
  more += messages.size() > kShown ? messages.size() - kShown : 0;
  if (more > 0) text += " (and " + std::to_string(more) + " more)";
  return text;
}

}  // namespace vostrel::platform
