// Reads sleep-diary workbooks (.xls) as strictly as a reader of the binary format can, with
// Apache POI's HSSF (Debian: libapache-poi-java), and works out their formulas by Excel's rules:
//
//   java -cp <POI's jars> tests/templates/StrictXls.java FILE NAME [FILE NAME ...]
//
// For each FILE it walks every record of the "Workbook" stream (each one parsed into its own
// kind, so a record of a wrong length or with wrong fields stops the walk), opens the workbook,
// puts NAME in place of every CELL("filename") (which POI does not know), evaluates every
// formula of the first sheet and prints, as one JSON object, {"FILE": {"A1": value, ...}, ...}
// ("" for a text formula that shows nothing, "#NAME?" and the like for an error). A warning
// that POI logs on the way, or a formula it cannot work out, fails the file: the exit code is
// 1 and the reason goes to standard error.
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.FileInputStream;
import java.io.InputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import org.apache.poi.hssf.eventusermodel.HSSFEventFactory;
import org.apache.poi.hssf.eventusermodel.HSSFRequest;
import org.apache.poi.hssf.usermodel.HSSFFormulaEvaluator;
import org.apache.poi.hssf.usermodel.HSSFWorkbook;
import org.apache.poi.poifs.filesystem.POIFSFileSystem;
import org.apache.poi.ss.formula.WorkbookEvaluator;
import org.apache.poi.ss.formula.eval.ErrorEval;
import org.apache.poi.ss.formula.eval.EvaluationException;
import org.apache.poi.ss.formula.functions.MultiOperandNumericFunction;
import org.apache.poi.ss.usermodel.Cell;
import org.apache.poi.ss.usermodel.CellType;
import org.apache.poi.ss.usermodel.CellValue;
import org.apache.poi.ss.usermodel.FormulaError;
import org.apache.poi.ss.usermodel.Row;
import org.apache.poi.ss.usermodel.Sheet;

public class StrictXls {
  public static void main(String[] args) throws Exception {
    // POI's logger is chosen when its first class loads: warnings and worse go to System.out,
    // which holds them apart from what this program prints.
    System.setProperty("org.apache.poi.util.POILogger", "org.apache.poi.util.SystemOutLogger");
    // POI 4.0 logs an error for each of these sizes that is not set: their default values.
    System.setProperty("HSSFWorkbook.SheetInitialCapacity", "3");
    System.setProperty("HSSFSheet.RowInitialCapacity", "20");
    System.setProperty("HSSFRow.ColInitialCapacity", "5");
    PrintStream out = System.out;
    ByteArrayOutputStream warnings = new ByteArrayOutputStream();
    System.setOut(new PrintStream(warnings, true, StandardCharsets.UTF_8));
    WorkbookEvaluator.registerFunction("STDEVP", new PopulationDeviation());
    List<String> failed = new ArrayList<>();
    StringBuilder json = new StringBuilder("{");
    for (int i = 0; i + 1 < args.length; i += 2) {
      String file = args[i];
      warnings.reset();
      String values;
      try {
        int count = walk(file);
        values = evaluate(file, args[i + 1]);
        if (count == 0) {
          throw new IllegalStateException("no records");
        }
      } catch (Exception e) {
        Throwable root = e;
        while (root.getCause() != null) {
          root = root.getCause();
        }
        failed.add(file + ": " + e + (root != e ? " (" + root + ")" : ""));
        continue;
      }
      if (warnings.size() > 0) {
        failed.add(file + ": " + warnings.toString(StandardCharsets.UTF_8).strip());
        continue;
      }
      json.append(json.length() > 1 ? "," : "").append(quote(file)).append(':').append(values);
    }
    System.setOut(out);
    out.println(json.append('}'));
    for (String f : failed) {
      System.err.println(f);
    }
    System.exit(failed.isEmpty() ? 0 : 1);
  }

  /**
   * STDEVP, which POI 4.0 knows but does not work out: the population's standard deviation of
   * the numbers given, by Excel's rules (text, logical values and blanks in a range left out).
   */
  static final class PopulationDeviation extends MultiOperandNumericFunction {
    PopulationDeviation() {
      super(false, false);
    }

    @Override
    protected double evaluate(double[] values) throws EvaluationException {
      if (values.length == 0) {
        throw new EvaluationException(ErrorEval.DIV_ZERO);
      }
      double mean = 0;
      for (double v : values) {
        mean += v / values.length;
      }
      double squares = 0;
      for (double v : values) {
        squares += (v - mean) * (v - mean);
      }
      return Math.sqrt(squares / values.length);
    }
  }

  /** Every record of the workbook stream, each parsed into its own kind; their count. */
  static int walk(String file) throws Exception {
    int[] count = {0};
    HSSFRequest request = new HSSFRequest();
    request.addListenerForAllRecords(record -> count[0]++);
    try (InputStream in = new FileInputStream(file); POIFSFileSystem fs = new POIFSFileSystem(in)) {
      new HSSFEventFactory().processWorkbookEvents(request, fs);
    }
    return count[0];
  }

  static String evaluate(String file, String name) throws Exception {
    try (HSSFWorkbook book = new HSSFWorkbook(new POIFSFileSystem(new File(file), true))) {
      Sheet sheet = book.getSheetAt(0);
      for (Row row : sheet) {
        for (Cell cell : row) {
          if (cell.getCellType() == CellType.FORMULA && cell.getCellFormula().toUpperCase().contains("CELL(")) {
            cell.setCellType(CellType.BLANK);  // a formula cell would keep the text as its cached result
            cell.setCellValue(name);
          }
        }
      }
      HSSFFormulaEvaluator evaluator = book.getCreationHelper().createFormulaEvaluator();
      StringBuilder json = new StringBuilder("{");
      for (Row row : sheet) {
        for (Cell cell : row) {
          String value = shown(cell.getCellType() == CellType.FORMULA ? evaluator.evaluate(cell) : null, cell);
          if (value != null) {
            json.append(json.length() > 1 ? "," : "").append(quote(cell.getAddress().formatAsString()));
            json.append(':').append(value);
          }
        }
      }
      return json.append('}').toString();
    }
  }

  /** A cell's value as JSON (a formula's from its evaluation), or null for a blank cell. */
  static String shown(CellValue result, Cell cell) {
    CellType type = result != null ? result.getCellType() : cell.getCellType();
    switch (type) {
      case NUMERIC:
        return Double.toString(result != null ? result.getNumberValue() : cell.getNumericCellValue());
      case STRING:
        return quote(result != null ? result.getStringValue() : cell.getStringCellValue());
      case BOOLEAN:
        return Boolean.toString(result != null ? result.getBooleanValue() : cell.getBooleanCellValue());
      case ERROR:
        return quote(FormulaError.forInt(result != null ? result.getErrorValue() : cell.getErrorCellValue())
                         .getString());
      default:
        return null;
    }
  }

  static String quote(String text) {
    StringBuilder s = new StringBuilder("\"");
    for (char c : text.toCharArray()) {
      if (c == '"' || c == '\\') {
        s.append('\\').append(c);
      } else if (c < 0x20) {
        s.append(String.format("\\u%04x", (int) c));
      } else {
        s.append(c);
      }
    }
    return s.append('"').toString();
  }
}
