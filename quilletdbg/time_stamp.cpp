#include "time_stamp.h"

#include <stdio.h>

bool time_stamps_on = false;

void set_stamp_day(StampDay& day, const SYSTEMTIME& time)
{
    day.year = time.wYear;
    day.month = time.wMonth;
    day.day = time.wDay;
}

int format_stamp(const SYSTEMTIME& time, StampDay& day, char* out)
{
    int length = 0;
    if (time.wYear != day.year || time.wMonth != day.month || time.wDay != day.day) {
        set_stamp_day(day, time);
        length = _snprintf(out, STAMP_BYTES, "--- %02u.%02u.%04u ---\n", time.wDay, time.wMonth, time.wYear);
    }
    length += _snprintf(out + length, STAMP_BYTES - length, "%02u:%02u:%02u.%03u ", time.wHour, time.wMinute,
                        time.wSecond, time.wMilliseconds);
    return length;
}
