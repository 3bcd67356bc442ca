#!/usr/bin/env python3
"""Writes a realistic temperature log: one-minute records with daily waves on all five channels.

The days differ from each other (sunny, cloudy, cold nights) but the output depends only on
the arguments, so a sample made once can be made again byte for byte.

    tools/make_sample_log.py samples/sample.log --days 3
"""
import argparse
import datetime
import math
import random
import struct

HEADER_SIZE = 433
RECORD_SIZE = 41
# Time stamps count seconds from 2000-01-01 00:00 on a clock that runs at UTC+01:00 all year.
EPOCH = datetime.datetime(2000, 1, 1)
HEADER_TEXT = b"Velkarn Oriq II sample log, made by tools/make_sample_log.py"
# Record offsets of TSA1, TSE, TW, TSV and TAM; all other record bytes stay zero.
CHANNEL_OFFSETS = (4, 6, 8, 12, 14)


def pack_record(timestamp, tenths):
    """One record: int32 LE time stamp and five int16 LE channels in tenths of a degree."""
    record = bytearray(RECORD_SIZE)
    struct.pack_into("<i", record, 0, timestamp)
    for offset, value in zip(CHANNEL_OFFSETS, tenths):
        struct.pack_into("<h", record, offset, value)
    return bytes(record)


def timestamp_of(moment):
    """Seconds since 2000-01-01 00:00 for a time read on the log's UTC+01:00 clock."""
    return int((moment - EPOCH).total_seconds())


def daily_wave(hour, peak_hour):
    """-1 .. 1 over one day, highest at peak_hour."""
    return math.cos(2 * math.pi * (hour - peak_hour) / 24)


def sunshine(hour):
    """0 at night, rising to 1 at noon and back to 0 by evening."""
    return max(0.0, math.sin(math.pi * (hour - 7) / 10)) if 7 <= hour <= 17 else 0.0


class Weather:
    """Per day: how sunny it is and how warm the air is, drawn once from the seed."""

    def __init__(self, days, rng):
        self.sun = [rng.uniform(0.15, 1.0) for _ in range(days)]
        self.mild = [rng.uniform(-4.0, 6.0) for _ in range(days)]


def temperatures(day, hour, weather, rng):
    """The five channels in degrees Celsius, in record order TSA1, TSE, TW, TSV, TAM."""
    sun = weather.sun[day] * sunshine(hour)
    outside = 4.0 + weather.mild[day] + 5.0 * daily_wave(hour, 15)
    collector = outside + 8.0 + 62.0 * sun
    storage = 38.0 + 9.0 * weather.sun[day] + 4.0 * daily_wave(hour, 17)
    hot_water = 52.0 + 3.0 * daily_wave(hour, 18) - (4.0 if 6.5 <= hour < 7.5 else 0.0)
    flow = 36.0 - 0.8 * outside + 3.0 * daily_wave(hour, 6)
    channels = (collector, storage, hot_water, flow, outside)
    return [value + rng.uniform(-0.3, 0.3) for value in channels]


def write_log(path, start, days, interval, seed):
    rng = random.Random(seed)
    weather = Weather(days, rng)
    count = days * 86400 // interval
    with open(path, "wb") as out:
        out.write(HEADER_TEXT.ljust(HEADER_SIZE, b"\0"))
        for n in range(count):
            moment = start + datetime.timedelta(seconds=n * interval)
            elapsed = (moment - start).total_seconds()
            day = int(elapsed // 86400)
            hour = moment.hour + moment.minute / 60 + moment.second / 3600
            tenths = [round(10 * value) for value in temperatures(day, hour, weather, rng)]
            out.write(pack_record(timestamp_of(moment), tenths))
    return count


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", help="log file to write")
    parser.add_argument("--days", type=int, default=21, help="days of records (default 21)")
    parser.add_argument("--start", default="2026-02-09T00:00",
                        help="first record, on the log's UTC+01:00 clock (default 2026-02-09T00:00)")
    parser.add_argument("--interval", type=int, default=60, help="seconds between records (default 60)")
    parser.add_argument("--seed", type=int, default=7, help="seed of the day-to-day weather (default 7)")
    args = parser.parse_args()
    if args.days < 1 or args.interval < 1:
        parser.error("--days and --interval must be at least 1")
    start = datetime.datetime.fromisoformat(args.start)
    count = write_log(args.output, start, args.days, args.interval, args.seed)
    print(f"{args.output}: {count} records from {start:%d.%m.%Y %H:%M} (UTC+01:00)")


if __name__ == "__main__":
    main()
