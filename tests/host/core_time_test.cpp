// Date and time encodings: time-stamp arithmetic at the edges of the calendar and the day.
#include <gtest/gtest.h>

#include <array>
#include <limits>

#include "tovrin5/host/DateTime.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/SysUtils.h"

using namespace tovrin::host;

TEST(CoreTime, TimeStampOfFirstJanuary2000) {
    TTimeStamp ts = DateTimeToTimeStamp(EncodeDate(2000, 1, 1));
    EXPECT_EQ(ts.Date, 730120);
    EXPECT_EQ(ts.Time, 0);
    EXPECT_EQ(TimeStampToMSecs(ts), 63082368000000.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
}

TEST(CoreTime, CalendarEdges) {
    // 30 Dec 1899 is day zero of TDateTime and day DateDelta of time stamps.
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(DateTimeToTimeStamp(0.0).Date, DateDelta);
    // 1 Jan 0001 is time-stamp day 1, the smallest valid one.
    EXPECT_EQ(DateTimeToTimeStamp(EncodeDate(1, 1, 1)).Date, 1);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(TimeStampToMSecs(TTimeStamp{0, 1}), 86400000.0);
    EXPECT_EQ(DateTimeToTimeStamp(EncodeDate(9999, 12, 31)).Date, 3652059);

    int y = 0, m = 0, d = 0;
    DecodeDate(EncodeDate(1, 1, 1), y, m, d);
    EXPECT_EQ((std::array{y, m, d}), (std::array{1, 1, 1}));
    DecodeDate(EncodeDate(9999, 12, 31), y, m, d);
    EXPECT_EQ((std::array{y, m, d}), (std::array{9999, 12, 31}));
}

TEST(CoreTime, LeapYears) {
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_TRUE(IsLeapYear(2024));
    EXPECT_FALSE(IsLeapYear(2023));
    EXPECT_NO_THROW((void)EncodeDate(2000, 2, 29));
    EXPECT_NO_THROW((void)EncodeDate(2024, 2, 29));
    EXPECT_THROW((void)EncodeDate(1900, 2, 29), EConvertError);
    EXPECT_THROW((void)EncodeDate(2023, 2, 29), EConvertError);
    EXPECT_EQ(EncodeDate(2000, 3, 1) - EncodeDate(2000, 2, 28), 2.0);
    EXPECT_EQ(EncodeDate(1900, 3, 1) - EncodeDate(1900, 2, 28), 1.0);
    // Every day of four centuries decodes back to itself.
    for (double day = EncodeDate(1800, 1, 1); day <= EncodeDate(2200, 12, 31); day += 1) {
        int yy = 0, mm = 0, dd = 0;
        DecodeDate(day, yy, mm, dd);
        ASSERT_EQ(EncodeDate(yy, mm, dd), day);
    }
}

TEST(CoreTime, EncodeRangesAndMessages) {
    EXPECT_THROW((void)EncodeDate(0, 1, 1), EConvertError);
    EXPECT_THROW((void)EncodeDate(10000, 1, 1), EConvertError);
    EXPECT_THROW((void)EncodeDate(2000, 13, 1), EConvertError);
    EXPECT_THROW((void)EncodeDate(2000, 4, 31), EConvertError);
    try {
        (void)EncodeDate(2000, 0, 1);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Invalid argument to date encode");
    }
    EXPECT_THROW((void)EncodeTime(24, 0, 0, 0), EConvertError);
    EXPECT_THROW((void)EncodeTime(0, 60, 0, 0), EConvertError);
    EXPECT_THROW((void)EncodeTime(0, 0, 60, 0), EConvertError);
    try {
        (void)EncodeTime(0, 0, 0, 1000);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Invalid argument to time encode");
    }
}

TEST(CoreTime, LastMillisecondOfTheDay) {
    TDateTime t = EncodeTime(23, 59, 59, 999);
    TTimeStamp ts = DateTimeToTimeStamp(EncodeDate(2026, 12, 7) + t);
    EXPECT_EQ(ts.Time, 86399999);
    EXPECT_EQ(ts.Date, DateTimeToTimeStamp(EncodeDate(2026, 12, 7)).Date);
    int h = 0, n = 0, s = 0, ms = 0;
    DecodeTime(t, h, n, s, ms);
    EXPECT_EQ((std::array{h, n, s, ms}), (std::array{23, 59, 59, 999}));
    // Half a millisecond before midnight rounds into the next day.
    TTimeStamp next = DateTimeToTimeStamp(EncodeDate(2026, 12, 7) + (86399999.5 / MSecsPerDay));
    EXPECT_EQ(next.Time, 0);
    EXPECT_EQ(next.Date, ts.Date + 1);
}

TEST(CoreTime, MillisecondsRoundTripExactly) {
    // Every millisecond of a few seconds around interesting instants survives the trip
    // TDateTime -> time stamp -> ms -> time stamp -> TDateTime.
    const TDateTime bases[] = {
        EncodeDate(1, 1, 1), EncodeDate(1899, 12, 29), EncodeDate(1899, 12, 30),
        EncodeDate(2026, 12, 7) + EncodeTime(14, 5, 9, 0), EncodeDate(9999, 12, 31)};
    for (TDateTime base : bases) {
        TTimeStamp b = DateTimeToTimeStamp(base);
        for (int k = 0; k < 3000; ++k) {
            TTimeStamp ts{b.Time + k, b.Date};
            double ms = TimeStampToMSecs(ts);
            ASSERT_EQ(MSecsToTimeStamp(ms), ts);
            ASSERT_EQ(DateTimeToTimeStamp(TimeStampToDateTime(ts)), ts)
                << ts.Date << " " << ts.Time;
        }
    }
}

TEST(CoreTime, NegativeDatesKeepAPositiveTimeOfDay) {
    // -1.25 is 29 Dec 1899 at 06:00, not 28 Dec at 18:00.
    TTimeStamp ts = DateTimeToTimeStamp(-1.25);
    EXPECT_EQ(ts.Date, DateDelta - 1);
    EXPECT_EQ(ts.Time, 6 * 3600000);
    EXPECT_EQ(TimeStampToDateTime(ts), -1.25);
    // Between -1 and 0 lies 30 Dec 1899 itself.
    TTimeStamp half = DateTimeToTimeStamp(-0.5);
    EXPECT_EQ(half.Date, DateDelta);
    EXPECT_EQ(half.Time, 12 * 3600000);
}

TEST(CoreTime, InvalidTimeStampsAreRefused) {
    EXPECT_THROW((void)TimeStampToMSecs(TTimeStamp{0, 0}), EConvertError);
    EXPECT_THROW((void)TimeStampToMSecs(TTimeStamp{-1, 5}), EConvertError);
    EXPECT_THROW((void)TimeStampToMSecs(TTimeStamp{MSecsPerDay, 5}), EConvertError);
    EXPECT_THROW((void)TimeStampToDateTime(TTimeStamp{0, -3}), EConvertError);
    try {
        (void)TimeStampToMSecs(TTimeStamp{12, 0});
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'12.0' is not a valid timestamp");
    }
    EXPECT_THROW((void)MSecsToTimeStamp(-1), EConvertError);
    EXPECT_THROW((void)MSecsToTimeStamp(std::numeric_limits<double>::quiet_NaN()), EConvertError);
    EXPECT_THROW((void)DateTimeToTimeStamp(std::numeric_limits<double>::infinity()), EConvertError);
}

TEST(CoreTime, FormatDateTimePatterns) {
    TDateTime v = EncodeDate(2026, 12, 7) + EncodeTime(14, 5, 9, 45);
    EXPECT_EQ(FormatDateTime("mm.dd.yyyy hh:nn:ss:z", v), "12.07.2026 14:05:09:45");
    EXPECT_EQ(FormatDateTime("dd.mm.yyyy hh:nn:ss:zzz", v), "07.12.2026 14:05:09:045");
    EXPECT_EQ(FormatDateTime("d/m/yy h:n:s", v), "7/12/26 14:5:9");
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd 'at' hh:mm", v),
              "2026-12-07 at 14:05"); // mm after hh is minutes
    EXPECT_EQ(FormatDateTime("hh:nn am/pm", v), "02:05 pm");
    EXPECT_EQ(FormatDateTime("ddd mmm", v), "Mon Dec");
    // Early years keep their zeros; the hour after midnight on a twelve-hour clock is 12;
    // letter case of the tokens does not matter.
    EXPECT_EQ(FormatDateTime("yyyy yy YYYY-MM-DD", EncodeDate(5, 1, 2)), "0005 05 0005-01-02");
    const TDateTime night = EncodeDate(2026, 1, 2) + EncodeTime(0, 3, 7, 9);
    EXPECT_EQ(FormatDateTime("h:nn AM/PM A/P", night), "12:03 AM A");
    EXPECT_EQ(FormatDateTime("HH:NN:SS.ZZZ z", night), "00:03:07.009 9");

    TFormatSettings saved = FormatSettings();
    FormatSettings().TimeSeparator = '.';
    FormatSettings().DateSeparator = '-';
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", v), "07-12-2026 14.05");
    FormatSettings() = saved;
}

TEST(CoreTime, StrToDateTimeReadsIsoAndShortDates) {
    EXPECT_EQ(StrToDateTime("2026-12-07 14:05:09.045"),
              EncodeDate(2026, 12, 7) + EncodeTime(14, 5, 9, 45));
    EXPECT_EQ(StrToDateTime("07/12/2026"), EncodeDate(2026, 12, 7));
    EXPECT_THROW((void)StrToDateTime("2026-02-30"), EConvertError);
    EXPECT_THROW((void)StrToDateTime("yesterday"), EConvertError);
}

TEST(CoreTime, DefaultTextForms) {
    TDateTime v = EncodeDate(2026, 12, 7) + EncodeTime(14, 5, 9, 0);
    EXPECT_EQ(DateTimeToStr(v), "07/12/2026 14:05:09");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 12, 7)), "07/12/2026"); // no time part at midnight
    EXPECT_EQ(DateToStr(v), "07/12/2026");
    EXPECT_EQ(TimeToStr(v), "14:05:09");
    EXPECT_EQ(StrToDateTime(DateTimeToStr(v)), v);
    // Before 30 Dec 1899 the time of day still reads forwards.
    EXPECT_EQ(DateTimeToStr(-1.25), "29/12/1899 06:00:00");
}
