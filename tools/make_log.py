#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes a synthetic temperature log: a 433-byte header, then one 41-byte record per sample.

Each record holds a little-endian signed 32-bit time stamp (seconds since 2000-01-01 00:00:00 at
UTC+01:00) and five little-endian signed 16-bit channels in tenths of a degree Celsius at byte
offsets 4, 6, 8, 12 and 14 (TSA1, TSE, TW, TSV, TAM). The channels follow smooth daily waves.
"""

import argparse
import datetime
import math
import struct
import sys

HEADER_SIZE = 433
RECORD_SIZE = 41
EPOCH = datetime.datetime(2000, 1, 1, tzinfo=datetime.timezone(datetime.timedelta(hours=1)))
SECONDS_PER_DAY = 86400

# Per channel: mean, daily swing and the hour of the daily peak, in degrees Celsius.
CHANNELS = (
    (55.0, 30.0, 14.0),  # TSA1
    (45.0, 12.0, 15.0),  # TSE
    (38.0, 8.0, 17.0),   # TW
    (30.0, 6.0, 18.0),   # TSV
    (14.0, 9.0, 15.0),   # TAM
)
CHANNEL_OFFSETS = (4, 6, 8, 12, 14)


def tenths_at(seconds_of_day, mean, swing, peak_hour):
    phase = 2.0 * math.pi * (seconds_of_day - peak_hour * 3600.0) / SECONDS_PER_DAY
    return max(-32768, min(32767, round(10.0 * (mean + swing * math.cos(phase)))))


def pack_record(time_stamp, tenths):
    """One record from its time stamp and the five channels' tenths, in record order."""
    data = bytearray(RECORD_SIZE)
    struct.pack_into("<i", data, 0, time_stamp)
    for offset, value in zip(CHANNEL_OFFSETS, tenths):
        struct.pack_into("<h", data, offset, value)
    return bytes(data)


def record(time_stamp, seconds_of_day):
    return pack_record(time_stamp, [tenths_at(seconds_of_day, *channel) for channel in CHANNELS])


def start_time_stamp(text):
    """Seconds since the log's epoch for a date and time written at UTC+01:00."""
    start = datetime.datetime.fromisoformat(text).replace(tzinfo=EPOCH.tzinfo)
    return int((start - EPOCH).total_seconds())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", help="log file to write")
    parser.add_argument("--records", type=int, default=7 * 24 * 60, help="number of records (default: one week)")
    parser.add_argument("--start", default="2015-06-24T00:00:00",
                        help="first record's date and time at UTC+01:00 (default: %(default)s)")
    parser.add_argument("--step", type=int, default=60, help="seconds between records (default: %(default)s)")
    args = parser.parse_args()

    first = start_time_stamp(args.start)
    last = first + (args.records - 1) * args.step
    if args.records < 0 or not -2**31 <= min(first, last) or not max(first, last) < 2**31:
        sys.exit("make_log.py: time stamps must fit in 32 bits and the record count must not be negative")

    with open(args.output, "wb") as out:
        out.write(b"\0" * HEADER_SIZE)
        for n in range(args.records):
            time_stamp = first + n * args.step
            out.write(record(time_stamp, time_stamp % SECONDS_PER_DAY))


if __name__ == "__main__":
    main()
