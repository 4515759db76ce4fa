// What Linux tells of processors, from the texts of its files: the quota texts of
// both versions of control groups, the folders of the groups a process is in under
// the mounts of their hierarchies, from what /proc shows on real systems, and the
// states of processes. And the processors of the platform seam, which follow the
// affinity mask.
#include "run/streams/processor_texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "run/streams/platform.h"

namespace floveran::platform {
namespace {

TEST(ProcessorQuota, TextsOfBothVersions) {
  EXPECT_EQ(processors_of_cpu_max("max 100000\n"), 0.0);
  EXPECT_EQ(processors_of_cpu_max("150000 100000\n"), 1.5);
  EXPECT_EQ(processors_of_cpu_max("400000 100000"), 4.0);
  EXPECT_EQ(processors_of_cpu_max("50000 100000\n"), 0.5);
  EXPECT_EQ(processors_of_cpu_max(""), 0.0);
  EXPECT_EQ(processors_of_cpu_max("100000"), 0.0);
  EXPECT_EQ(processors_of_cpu_max("12x 100000"), 0.0);
  EXPECT_EQ(processors_of_cfs_quota("-1\n", "100000\n"), 0.0);
  EXPECT_EQ(processors_of_cfs_quota("200000\n", "100000\n"), 2.0);
  EXPECT_EQ(processors_of_cfs_quota("250000\n", "100000\n"), 2.5);
  EXPECT_EQ(processors_of_cfs_quota("", "100000"), 0.0);
  EXPECT_EQ(processors_of_cfs_quota("100000", "0"), 0.0);
}

TEST(RunningProgram, OfTheStatLine) {
  const struct {
    const char* name;
    const char* text;
    bool running;
  } cases[] = {
      {"running", "28710 (cat) R 28708 28708 5956 0 -1 4194304 133 0 0 0 0 0 0 0 20 0 1 0\n", true},
      {"sleeping", "28710 (cat) S 28708 28708 5956 0 -1 4194304 133 0 0 0 0 0 0 0 20 0 1 0\n", false},
      {"disk_wait", "28710 (cat) D 28708 28708 5956 0 -1 4194304 133 0 0\n", false},
      {"kernel_thread_running", "4 (kworker/u4:1) R 2 0 0 0 -1 69238880 0 0 0 0\n", false},
      {"kthreadd", "2 (kthreadd) R 0 0 0 0 -1 2129984 0 0 0 0\n", false},
      {"name_with_blanks_and_parens", "77 (a) R (b c) R 1 77 77 0 -1 4194560 0 0\n", true},
      {"name_that_looks_like_a_kernel_flag", "77 (x) S 1 2 3 4 5 69238880) R 1 77 77 0 -1 4194560 0\n", true},
      {"cut_before_the_flags", "77 (cat) R 1 77 77 0\n", false},
      {"no_name", "77 cat R 1 77 77 0 -1 4194560\n", false},
      {"empty", "", false},
  };
  for (const auto& c : cases) EXPECT_EQ(running_program(c.text), c.running) << c.name;
}

constexpr const char* kMountsOfBoth =
    "32 23 0:29 / /sys/fs/cgroup rw,relatime - tmpfs tmpfs rw,mode=755\n"
    "33 32 0:30 / /sys/fs/cgroup/cpu,cpuacct rw,relatime - cgroup cgroup rw,cpu,cpuacct\n"
    "36 32 0:33 / /sys/fs/cgroup/memory rw,relatime - cgroup cgroup rw,memory\n"
    "42 32 0:39 / /sys/fs/cgroup/unified rw,relatime shared:5 - cgroup2 cgroup2 rw\n";

TEST(ProcessorQuota, FoldersOfTheGroupsAndTheirParents) {
  const struct {
    const char* name;
    const char* groups;
    const char* mounts;
    std::vector<QuotaFolder> folders;
  } cases[] = {
      {"unified_only", "0::/user.slice/app.scope\n",
       "25 1 0:22 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw,nsdelegate\n",
       {{"/sys/fs/cgroup/user.slice/app.scope", true}, {"/sys/fs/cgroup/user.slice", true}, {"/sys/fs/cgroup", true}}},
      {"container_with_its_own_namespace", "0::/\n", "700 600 0:30 / /sys/fs/cgroup ro - cgroup2 cgroup2 rw\n",
       {{"/sys/fs/cgroup", true}}},
      {"both_versions", "9:name=systemd:/\n4:memory:/x\n1:cpu,cpuacct:/docker/abc\n0::/\n", kMountsOfBoth,
       {{"/sys/fs/cgroup/cpu,cpuacct/docker/abc", false},
        {"/sys/fs/cgroup/cpu,cpuacct/docker", false},
        {"/sys/fs/cgroup/cpu,cpuacct", false},
        {"/sys/fs/cgroup/unified", true}}},
      // A container that sees only its own part of the hierarchy mounted.
      {"mount_of_a_part", "1:cpu:/docker/abc\n",
       "50 40 0:31 /docker/abc /sys/fs/cgroup/cpu ro - cgroup cgroup rw,cpu\n",
       {{"/sys/fs/cgroup/cpu", false}}},
      {"group_outside_the_mounted_part", "1:cpu:/other\n",
       "50 40 0:31 /docker/abc /sys/fs/cgroup/cpu ro - cgroup cgroup rw,cpu\n",
       {{"/sys/fs/cgroup/cpu", false}}},
      {"blank_in_the_mount_point", "0::/a\n", "25 1 0:22 / /mnt/c\\040g rw - cgroup2 cgroup2 rw\n",
       {{"/mnt/c g/a", true}, {"/mnt/c g", true}}},
      {"cpuacct_is_not_cpu", "2:cpuacct:/a\n", "34 32 0:31 / /sys/fs/cgroup/cpuacct rw - cgroup cgroup rw,cpuacct\n",
       {}},
      {"no_mount", "0::/a\n", "", {}},
      {"nothing_readable", "", "", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(quota_folders(c.groups, c.mounts), c.folders) << c.name;
}

#ifdef _WIN32
// Held to one processor by the affinity of the process, the seam sees one.
TEST(AvailableProcessors, FollowTheAffinityMask) {
  DWORD_PTR process_mask = 0;
  DWORD_PTR system_mask = 0;
  ASSERT_TRUE(::GetProcessAffinityMask(::GetCurrentProcess(), &process_mask, &system_mask));
  EXPECT_GE(available_processors(), 1);
  const DWORD_PTR first = process_mask & (~process_mask + 1);
  if (first == system_mask) GTEST_SKIP() << "a single processor: there is no narrower affinity";
  ASSERT_TRUE(::SetProcessAffinityMask(::GetCurrentProcess(), first));
  const int held = available_processors();
  ::SetProcessAffinityMask(::GetCurrentProcess(), process_mask);
  EXPECT_EQ(held, 1);
}
#else
// The affinity mask is the calling thread's, which a new process inherits: held
// to one processor, the seam sees one.
TEST(AvailableProcessors, FollowTheAffinityMask) {
  int all = 0;
  int held = 0;
  std::thread probe([&] {
    all = available_processors();
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(::sched_getaffinity(0, sizeof set, &set), 0);
    int first = 0;
    while (!CPU_ISSET(first, &set)) ++first;
    CPU_ZERO(&set);
    CPU_SET(first, &set);
    ASSERT_EQ(::sched_setaffinity(0, sizeof set, &set), 0);
    held = available_processors();
  });
  probe.join();
  EXPECT_GE(all, 1);
  EXPECT_EQ(held, 1);
}


// Another program that keeps a processor busy is seen; the process itself is not.
TEST(ProcessorsKeptBusy, SeeAnotherProgramRunning) {
#ifndef __linux__
  GTEST_SKIP() << "processes are looked at on Linux only";
#else
  const int before = processors_kept_busy(1000);
  const pid_t spinner = ::fork();
  ASSERT_GE(spinner, 0);
  if (spinner == 0) {
    volatile int stop = 0;
    while (stop == 0) {
    }
  }
  int seen = 0;
  for (int look = 0; look < 100 && seen <= before; ++look) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    seen = std::max(seen, processors_kept_busy(1000));
  }
  ::kill(spinner, SIGKILL);
  ::waitpid(spinner, nullptr, 0);
  EXPECT_GE(seen, 1) << "a spinning child process";
#endif
}
#endif

}  // namespace
}  // namespace floveran::platform
