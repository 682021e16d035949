#include "tests/cli/kit_process.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>

#include <fstream>
#else
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vostrel::testing {

#ifdef _WIN32

namespace {

std::string Quote(const std::string& argument) {
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

KitResult RunKitProcess(const std::vector<std::string>& arguments, Stderr) {
  TempTree scratch;
  const std::string outPath = scratch.Path("out.txt"), errPath = scratch.Path("err.txt");
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  std::string command = Quote(VOSTREL_KIT_BINARY);
  for (const std::string& argument : arguments) command += " " + Quote(argument);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  KitResult result;
  if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.exitCode = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(out);
  CloseHandle(err);
  result.out = ReadAll(outPath);
  result.err = ReadAll(errPath);
  // Text-mode output ends its lines with CR LF.
  for (std::string* text : {&result.out, &result.err}) {
    std::string plain;
    for (std::size_t i = 0; i < text->size(); ++i) {
      if ((*text)[i] == '\r' && i + 1 < text->size() && (*text)[i + 1] == '\n') continue;
      plain += (*text)[i];
    }
    *text = plain;
  }
  return result;
}

#else

KitResult RunKitProcess(const std::vector<std::string>& arguments, Stderr mode) {
  int out[2], err[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe");
  if (mode == Stderr::kTerminal) {
    if (openpty(&err[0], &err[1], nullptr, nullptr, nullptr) != 0) {
      throw std::runtime_error("openpty");
    }
  } else if (pipe(err) != 0) {
    throw std::runtime_error("pipe");
  }
  std::vector<char*> argv;
  std::string binary = VOSTREL_KIT_BINARY;
  argv.push_back(binary.data());
  std::vector<std::string> copies = arguments;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork");
  if (child == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);

  // Read both at once, so neither pipe fills up and blocks the child.
  KitResult result;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else {  // end of file, or EIO once the terminal's last writer is gone
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

#endif

#ifndef _WIN32

// Runs a shell command; its stdout, and its exit status in `status`.
std::string Shell(const std::string& command, int& status) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return output;
  }
  char buffer[4096];
  for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    output.append(buffer, got);
  }
  int raw = pclose(pipe);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return output;
}

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

bool HaveTool(const char* name) {
  int status = 0;
  Shell(std::string("command -v ") + name + " >/dev/null 2>&1", status);
  return status == 0;
}

#endif

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void MakeMedium(const TempTree& tree) {
  auto put = [&tree](const std::string& path) { tree.Write("medium/" + path, path + "\n"); };
  for (const char* file : {"setup.exe", "setup.ini", "data1.cab"}) put(file);
  put("Extras/extra.txt");
  for (const char* tool :
       {"VOKConfig.exe", "vokdrv.exe", "BchResum.bch", "vokbench.exe", "unlisted.exe"}) {
    put(std::string("Talvor Imaging/Tools/") + tool);
  }
  for (const char* library :
       {"vok.dll", "vokpellam.dll", "vokvarnex.dll", "voktobrin.dll", "vokkestov.dll",
        "vokardune.dll", "voksorvik.dll", "voklunnet.dll", "vokwyndel.dll", "vokcalvex.dll",
        "vokjurano.dll", "vokjuranox.dll", "voknuvaro.dll", "vokharrik.dll", "sub/deep.dll"}) {
    put(std::string("Talvor Imaging/Vok/dll/") + library);
  }
  put("Talvor Imaging/Vok/Revision.txt");
  tree.Write("medium/Talvor Imaging/Vok/SetupType.txt",
             "[PRODUCT]\r\nVokDevelopment=Y\r\nQuenzoRuntime=Y\r\nFramory=Y\r\nKRT=Y\r\n"
             "[SELECTED]\r\nVokDevelopment=Y\r\nFramory=Y\r\n");
  tree.MakeReadOnly("medium/Talvor Imaging/Vok/SetupType.txt");
  put("Talvor Imaging/Quenzo/Controls/quenzo.ocx");
  put("Talvor Imaging/Framory/framory.exe");
  for (const char* common : {"DMA", "Host", "TalvorSerial", "TalvorAux", "win2000"}) {
    put(std::string("Talvor Imaging/Drivers/") + common + "/driver.sys");
  }
  put("Talvor Imaging/Drivers/Utilities/util.exe");
  put("Talvor Imaging/Drivers/Utilities/Nested/not-copied.txt");
  for (const char* board : {"Pellam", "Varnex", "Tobrin", "Kestov", "Ardune", "Sorvik", "Lunnet",
                            "Wyndel", "Calvex", "Jurano", "Nuvaro", "Harrik", "PELUX"}) {
    put(std::string("Talvor Imaging/Drivers/") + board + "/board.inf");
  }
  put("Talvor Imaging/Drivers/Pellam/Pellam.cfg");
  put("Jurano/runtime/jurano.dll");
}

}  // namespace vostrel::testing
