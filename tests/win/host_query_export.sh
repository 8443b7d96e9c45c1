#!/usr/bin/env bash
# PBF_QueryClientInfo is a plain-named export of the host that has it, and
# no export of the one without. (No pipefail: grep -q leaves objdump a
# closed pipe.)
#   host_query_export.sh OBJDUMP HOST_WITH HOST_WITHOUT
set -eu
"$1" -p "$2" | grep -q '\] PBF_QueryClientInfo$'
! "$1" -p "$3" | grep -q PBF_QueryClientInfo
