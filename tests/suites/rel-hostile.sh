#!/usr/bin/env bash
# Hostile hosts and shared folders (Linux, as root): a thread cancelled inside
# a call and inside a roll-over, an echo whose reader has gone, a file system
# that refuses locks (a seccomp filter), fork while another thread writes,
# links and another user's files planted in a 1777 log folder, readers that
# lock an old log. Each case runs in a child process with a time bound.
source "$(dirname "$0")/../lib/common.sh"
source "$QW_TOP/tests/lib/reliability.sh"
qw_rel_linux hostile-linux linux --gtest_filter='HostileTest.*'
