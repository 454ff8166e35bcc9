// The date in the frame page's title: every weekday and month name, zero-padded numbers.
#include <gtest/gtest.h>

#include "report/report.h"

namespace vokt {
namespace {

TEST(FrameDate, EveryWeekdayAndMonthName) {
  const char* const expected[] = {
      "Sun Jan 01 00:00:59 1999", "Mon Feb 02 01:02:58 2000", "Tue Mar 03 02:04:57 2001", "Wed Apr 04 03:06:56 2002",
      "Thu May 05 04:08:55 2003", "Fri Jun 06 05:10:54 2004", "Sat Jul 07 06:12:53 2005", "Sun Aug 08 07:14:52 2006",
      "Mon Sep 09 08:16:51 2007", "Tue Oct 10 09:18:50 2008", "Wed Nov 11 10:20:49 2009", "Thu Dec 31 23:59:00 2010",
  };
  for (int month = 0; month < 12; ++month) {
    std::tm time{};
    time.tm_wday = month % 7;
    time.tm_mon = month;
    time.tm_mday = month == 11 ? 31 : month + 1;
    time.tm_hour = month == 11 ? 23 : month;
    time.tm_min = month == 11 ? 59 : 2 * month;
    time.tm_sec = month == 11 ? 0 : 59 - month;
    time.tm_year = 99 + month;
    EXPECT_EQ(frame_date_text(time), expected[month]);
  }
}

}  // namespace
}  // namespace vokt
