#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Appends records to a temperature log as a running logger does, for watching the viewer follow it.

Each record continues the log's last time stamp by --step seconds with the channels' daily waves
of make_log.py; one is written every --interval seconds, with --halves in two writes a moment
apart, as a slow writer may leave a partial record for the reader to find.
"""

import argparse
import os
import struct
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_log import HEADER_SIZE, RECORD_SIZE, SECONDS_PER_DAY, record  # noqa: E402


def last_time_stamp(path):
    size = os.path.getsize(path)
    records = (size - HEADER_SIZE) // RECORD_SIZE if size > HEADER_SIZE else 0
    if records == 0:
        sys.exit("follow-writer.py: the log holds no whole record to continue from")
    with open(path, "rb") as log:
        log.seek(HEADER_SIZE + (records - 1) * RECORD_SIZE)
        return struct.unpack("<i", log.read(4))[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("log", help="log file to append to")
    parser.add_argument("--records", type=int, default=60, help="records to write (default: %(default)s)")
    parser.add_argument("--interval", type=float, default=1.0, help="seconds between records (default: %(default)s)")
    parser.add_argument("--step", type=int, default=60, help="seconds between time stamps (default: %(default)s)")
    parser.add_argument("--halves", action="store_true", help="write each record in two halves")
    args = parser.parse_args()

    time_stamp = last_time_stamp(args.log)
    for _ in range(args.records):
        time_stamp += args.step
        data = record(time_stamp, time_stamp % SECONDS_PER_DAY)
        parts = (data[:RECORD_SIZE // 2], data[RECORD_SIZE // 2:]) if args.halves else (data,)
        for part in parts:
            with open(args.log, "ab") as log:
                log.write(part)
            time.sleep(args.interval / len(parts))


if __name__ == "__main__":
    main()
