// What Linux tells of the processors a process may use, read from the texts of its
// files: the processor quota of control groups (which caps the processor time of a
// group, as a container's limit does) and the state of a process. Plain text
// work with no system call; platform_posix.cpp reads the files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace floveran::platform {

// Processors granted by a cgroup v2 "cpu.max" text, "QUOTA PERIOD" in
// microseconds ("150000 100000" grants 1.5); 0 for "max" (no quota) and for a
// text that is not such a pair.
double processors_of_cpu_max(std::string_view text);

// Processors granted by the cgroup v1 texts of "cpu.cfs_quota_us" and
// "cpu.cfs_period_us"; 0 for a quota of -1 (none) and for texts that are not
// numbers.
double processors_of_cfs_quota(std::string_view quota, std::string_view period);

// A folder whose quota files bound the process: "cpu.max" in it when `unified`
// (cgroup v2), else "cpu.cfs_quota_us" and "cpu.cfs_period_us".
struct QuotaFolder {
  std::string path;
  bool unified = false;
  friend bool operator==(const QuotaFolder&, const QuotaFolder&) = default;
};

// The folders of the groups the process belongs to that can carry a processor
// quota: from the texts of /proc/self/cgroup (its groups) and
// /proc/self/mountinfo (where their hierarchies are mounted), each group's
// folder under its mount and every parent up to the mount itself, innermost
// first. A quota anywhere on that path caps the process.
std::vector<QuotaFolder> quota_folders(std::string_view own_groups, std::string_view mounts);

// Whether a /proc/PID/stat text ("1234 (name) R 1 ...") shows a process of a
// program running or ready to run: state R, and not a thread of the kernel (flag
// PF_KTHREAD), whose work, such as writing files back to disk, comes and goes.
// The name may hold blanks and parentheses; the fields follow its last ")".
bool running_program(std::string_view stat_text);

}  // namespace floveran::platform
