"""The two sleep-diary templates that ship with Auto Quillmer, Dozeboardt1.xls (one sleep a day
and a nap) and Dozeboardt3.xls (up to three sleeps a day): written as flat OpenDocument sources,
converted to Excel 97-2003 by LibreOffice and finished here (make-templates.sh runs it all).

One sheet, 睡眠表, on one A4 page, landscape. Top to bottom:
  row 1      title
  row 2      the month: year and month, read from the workbook's own name
             (Dozeboard_YYYY-MM.xls; a template or a renamed copy shows no month); typing a
             number over either cell sets it by hand
  rows 3-4   headings
  rows 5-35  one row per night, days 1 to 31: the night that begins on the evening of that date
             (from noon of the date to noon of the next day). Entries: time into bed, lights out,
             minutes to fall asleep, awakenings (count, minutes), final waking, out of bed; Type-1
             a nap, Type-3 a second and a third sleep; sleep quality and the day (1 to 5),
             caffeine, alcohol, sleep medicine, memo. Computed: time in bed, total sleep,
             sleep efficiency, and a 24-hour picture of 48 half-hour cells from noon to noon
             shaded by conditional formatting (asleep dark, in bed awake light).
  rows 36-44 summaries: every 7-day block, the month, nights before working days and before
             days off (Friday and Saturday nights and the nights before Japan's public
             holidays, which the hidden last columns list from row 1 down)
  row 45     the picture's legend
Hidden columns right of the picture hold the intermediate values; they lie outside the print
area. Times are validated (a number such as 2330 or 7 is refused), ratings accept 1 to 5, and a
row holding a wrong value that slipped past the check (pasted, say) shows it in red, shows 入力?
instead of figures and counts in no summary. The sheet is protected without a password; only the
input cells and the year and month are open.

The modules: layout (rows and columns), holidays, formulas, styles, fods (the flat OpenDocument
writer), biff (the .xls compound file and its records), poi (Apache POI's strict reading and
Excel's results), finish_xls, office (the LibreOffice bridge). The command lines:

    python3 -m scripts.diary_templates.generate [--check]     write (or compare) templates/src/*.fods
    python3 -m scripts.diary_templates.finish_xls WORKBOOK.xls  finish a converted workbook in place

with the repository's root on PYTHONPATH. The generator uses the Python standard library only.
"""
