// "-time": the arrival time in front of every line that a message begins.
#pragma once

#include <windows.h>

// Whether "-time" (or "-ts") asked for stamps.
extern bool time_stamps_on;

// Room for a date line and a stamp.
const int STAMP_BYTES = 64;

// The day of the previous stamp: a stamp on another day is preceded by a line with its date.
struct StampDay {
    WORD year;
    WORD month;
    WORD day;
};

// Makes time's day the day of the previous stamp.
void set_stamp_day(StampDay& day, const SYSTEMTIME& time);

// Writes "hh:mm:ss.mmm " for time into out (STAMP_BYTES), after a line "--- dd.mm.yyyy ---"
// when time falls on another day than the previous stamp. Returns the bytes written.
int format_stamp(const SYSTEMTIME& time, StampDay& day, char* out);

// The time now as local time and the minutes local time is ahead of UTC at this moment: the
// UTC time converted with the rule that holds for it, so that the hour that repeats when
// daylight saving time ends still gets its own offset.
void take_arrival_time(SYSTEMTIME& local, int& utc_offset);
