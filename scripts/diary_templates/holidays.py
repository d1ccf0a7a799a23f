"""Japan's public holidays, which the diary's summaries count as days off, and how the sheet
holds them."""

import datetime

HOLIDAY_YEARS = range(2000, 2100)


def _monday(year, month, nth):
    first = datetime.date(year, month, 1)
    return first + datetime.timedelta(days=(7 - first.weekday()) % 7 + 7 * (nth - 1))


def _equinox(year, base):
    """The vernal (base 20.8431) or autumnal (23.2488) equinox day, by the formula for 1980-2099."""
    return int(base + 0.242194 * (year - 1980) - (year - 1980) // 4)


def holidays(year):
    """Japan's public holidays of a year (2000 to 2099) by the rules in force: the fixed days, the
    Monday holidays, the equinoxes, the special years 2019 to 2021, the citizens' holiday (a day
    between two holidays) and the substitute holiday (a holiday on a Sunday moves the day off to
    the next day that is no holiday; before 2007 only to the Monday)."""
    d = datetime.date
    days = {d(year, 1, 1), _monday(year, 1, 2), d(year, 2, 11), d(year, 3, _equinox(year, 20.8431)),
            d(year, 4, 29), d(year, 5, 3), d(year, 5, 5), d(year, 9, _equinox(year, 23.2488)),
            d(year, 11, 3), d(year, 11, 23)}
    if year >= 2007:
        days.add(d(year, 5, 4))
    if year >= 2020:
        days.add(d(year, 2, 23))
    elif year <= 2018:
        days.add(d(year, 12, 23))
    special = {2019: [d(2019, 5, 1), d(2019, 10, 22)],
               2020: [d(2020, 7, 23), d(2020, 7, 24), d(2020, 8, 10)],
               2021: [d(2021, 7, 22), d(2021, 7, 23), d(2021, 8, 8)]}
    days.update(special.get(year, []))
    if year not in (2020, 2021):
        days.add(_monday(year, 7, 3) if year >= 2003 else d(year, 7, 20))
        days.add(_monday(year, 10, 2))
        if year >= 2016:
            days.add(d(year, 8, 11))
    days.add(_monday(year, 9, 3) if year >= 2003 else d(year, 9, 15))
    named = set(days)
    for day in sorted(named):  # the citizens' holiday
        between = day + datetime.timedelta(days=2)
        if between in named and day + datetime.timedelta(days=1) not in named:
            days.add(day + datetime.timedelta(days=1))
    for day in sorted(named):  # the substitute holiday
        if day.weekday() == 6:
            later = day + datetime.timedelta(days=1)
            while year >= 2007 and later in days:
                later += datetime.timedelta(days=1)
            days.add(later)
    return sorted(days)


def holiday_numbers():
    """Every holiday of HOLIDAY_YEARS as a spreadsheet day number (days since 1899-12-30)."""
    return [(day - datetime.date(1899, 12, 30)).days for y in HOLIDAY_YEARS for day in holidays(y)]


# The holidays stand in the hidden columns hol0, hol1, ... from row 1 down, at most
# HOLIDAY_ROWS_AT_MOST to a column: LibreOffice's .xls export leaves out the cells of a hidden
# column that lie more than about 1,000 rows below the sheet's last visible content.
HOLIDAY_ROWS_AT_MOST = 900
HOLIDAY_COLUMNS = -(-len(holiday_numbers()) // HOLIDAY_ROWS_AT_MOST)
HOLIDAY_ROWS = -(-len(holiday_numbers()) // HOLIDAY_COLUMNS)

