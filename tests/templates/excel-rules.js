// Works out a sleep-diary workbook (.xls) by Excel's rules with HyperFormula, reading it through
// SheetJS, and prints the value of every cell of its first sheet as JSON, once for each name
// given: {"NAME": {"A1": value, ...}, ...} ("" for a cell that shows nothing, "#NAME?" and the
// like for an error).
//
//   node tests/templates/excel-rules.js FILE.xls "C:\dir\[Dozeboard_2026-02.xls]睡眠表" ...
//
// HyperFormula has no CELL(): every CELL("filename", ...) is replaced by the text given, the
// name as a spreadsheet application reports it.
"use strict";
const XLSX = require("xlsx");
const { HyperFormula } = require("hyperformula");

const [file, ...names] = process.argv.slice(2);
const book = XLSX.readFile(file, { cellFormula: true, cellNF: false, cellDates: false });
const sheetName = book.SheetNames[0];
const sheet = book.Sheets[sheetName];
const range = XLSX.utils.decode_range(sheet["!ref"]);

function evaluate(filename) {
  const literal = '"' + filename.replace(/"/g, '""') + '"';
  const rows = [];
  for (let r = 0; r <= range.e.r; r++) {
    const row = [];
    for (let c = 0; c <= range.e.c; c++) {
      const cell = sheet[XLSX.utils.encode_cell({ r, c })];
      if (!cell || cell.t === "z") row.push(null);
      else if (cell.f) row.push("=" + cell.f.replace(/CELL\("filename",[^)]*\)/gi, literal));
      else row.push(cell.v);
    }
    rows.push(row);
  }
  const hf = HyperFormula.buildFromSheets(
    { [sheetName]: rows },
    {
      licenseKey: "gpl-v3",
      evaluateNullToZero: true, // a reference to an empty cell is 0, as in Excel
      leapYear1900: true, // Excel's day numbers: 1 is 1900-01-01, with its 29 February 1900
      nullDate: { year: 1899, month: 12, day: 31 },
      useArrayArithmetic: false,
    },
  );
  const id = hf.getSheetId(sheetName);
  const out = {};
  for (let r = 0; r <= range.e.r; r++) {
    for (let c = 0; c <= range.e.c; c++) {
      const v = hf.getCellValue({ sheet: id, row: r, col: c });
      if (v === null || v === undefined) continue;
      out[XLSX.utils.encode_cell({ r, c })] = typeof v === "object" ? v.value : v;
    }
  }
  hf.destroy();
  return out;
}

const all = {};
for (const name of names) all[name] = evaluate(name);
process.stdout.write(JSON.stringify(all));
