// The quota texts are whole numbers of microseconds; the group and mount lists are
// lines of fields, those of mountinfo separated by blanks with a blank, tab, LF or
// backslash inside a field written as a three-digit octal escape ("\040"); the
// stat line of a process holds fields separated by blanks behind its name.
#include "run/streams/processor_texts.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace floveran::platform {
namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

// A whole decimal number that is the whole text, or false.
bool whole_number(std::string_view text, std::int64_t& value) {
  text = trimmed(text);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

double processors_of(std::int64_t quota, std::int64_t period) {
  if (quota <= 0 || period <= 0) return 0.0;
  return static_cast<double>(quota) / static_cast<double>(period);
}

// The next line of `text`, taken off its front.
std::string_view next_line(std::string_view& text) {
  const std::size_t lf = text.find('\n');
  const std::string_view line = text.substr(0, lf);
  text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
  return line;
}

// The next field of a line separated by `separator`, taken off its front.
std::string_view next_field(std::string_view& line, char separator) {
  const std::size_t at = line.find(separator);
  const std::string_view field = line.substr(0, at);
  line.remove_prefix(at == std::string_view::npos ? line.size() : at + 1);
  return field;
}

bool has_item(std::string_view list, std::string_view item) {
  while (!list.empty()) {
    if (next_field(list, ',') == item) return true;
  }
  return false;
}

bool is_octal(char c) { return c >= '0' && c <= '7'; }

std::string unescaped(std::string_view field) {
  std::string text;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && is_octal(field[i + 1]) && is_octal(field[i + 2]) &&
        is_octal(field[i + 3])) {
      text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
      i += 3;
    } else {
      text += field[i];
    }
  }
  return text;
}

struct GroupMount {
  std::string root;         // the group the mount shows at its top
  std::string mount_point;
};

// The mount of the v2 hierarchy (`unified`) or of the v1 hierarchy that holds the
// cpu controller; false when there is none.
bool find_mount(std::string_view mounts, bool unified, GroupMount& found) {
  while (!mounts.empty()) {
    std::string_view line = next_line(mounts);
    const std::size_t dash = line.find(" - ");
    if (dash == std::string_view::npos) continue;
    std::string_view tail = line.substr(dash + 3);
    line = line.substr(0, dash);
    const std::string_view type = next_field(tail, ' ');
    next_field(tail, ' ');  // the source
    const std::string_view options = tail;
    if (unified ? type != "cgroup2" : type != "cgroup" || !has_item(options, "cpu")) continue;
    for (int skipped = 0; skipped < 3; ++skipped) next_field(line, ' ');  // id, parent, device
    const std::string_view root = next_field(line, ' ');
    const std::string_view mount_point = next_field(line, ' ');
    found = {unescaped(root), unescaped(mount_point)};
    return true;
  }
  return false;
}

// The group's folder under its mount and its parents up to the mount point.
void add_folders(std::vector<QuotaFolder>& folders, const GroupMount& mount, std::string_view group, bool unified) {
  std::string_view relative = group;
  if (mount.root != "/") {
    if (group.starts_with(mount.root) && (group.size() == mount.root.size() || group[mount.root.size()] == '/')) {
      relative.remove_prefix(mount.root.size());
    } else {
      relative = {};  // outside the part of the hierarchy that is mounted: its top alone
    }
  }
  while (!relative.empty() && relative.back() == '/') relative.remove_suffix(1);
  for (;;) {
    folders.push_back({mount.mount_point + std::string(relative), unified});
    if (relative.empty()) return;
    relative = relative.substr(0, relative.rfind('/'));
  }
}

}  // namespace

double processors_of_cpu_max(std::string_view text) {
  text = trimmed(text);
  const std::string_view quota = next_field(text, ' ');
  std::int64_t quota_us = 0;
  std::int64_t period_us = 0;
  if (!whole_number(quota, quota_us) || !whole_number(text, period_us)) return 0.0;
  return processors_of(quota_us, period_us);
}

double processors_of_cfs_quota(std::string_view quota, std::string_view period) {
  std::int64_t quota_us = 0;
  std::int64_t period_us = 0;
  if (!whole_number(quota, quota_us) || !whole_number(period, period_us)) return 0.0;
  return processors_of(quota_us, period_us);
}

std::vector<QuotaFolder> quota_folders(std::string_view own_groups, std::string_view mounts) {
  std::vector<QuotaFolder> folders;
  while (!own_groups.empty()) {
    std::string_view line = next_line(own_groups);
    const std::string_view id = next_field(line, ':');
    const std::string_view controllers = next_field(line, ':');
    const std::string_view group = line;
    if (group.empty() || group.front() != '/') continue;
    const bool unified = id == "0" && controllers.empty();
    if (!unified && !has_item(controllers, "cpu")) continue;
    GroupMount mount;
    if (find_mount(mounts, unified, mount)) add_folders(folders, mount, group, unified);
  }
  return folders;
}

bool running_program(std::string_view stat_text) {
  const std::size_t name_end = stat_text.rfind(')');
  if (name_end == std::string_view::npos) return false;
  std::string_view fields = stat_text.substr(name_end + 1);
  next_field(fields, ' ');  // the blank behind the name
  const std::string_view state = next_field(fields, ' ');
  // ppid, pgrp, session, tty_nr and tpgid, then the flags.
  for (int skipped = 0; skipped < 5; ++skipped) next_field(fields, ' ');
  std::int64_t flags = 0;
  if (!whole_number(next_field(fields, ' '), flags)) return false;
  constexpr std::int64_t kKernelThread = 0x00200000;  // PF_KTHREAD
  return state == "R" && (flags & kKernelThread) == 0;
}

}  // namespace floveran::platform
