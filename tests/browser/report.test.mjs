// The monitoring report in a real browser: Debian's chromium, headless,
// driven by puppeteer-core against a file `geocom monitor report` wrote
// from a sample store of a creeping slope.
//
// Usage: node report.test.mjs GEOCOM SAMPLE_STORE SCREENSHOT.png
// Exit status 0 when every check passes, 1 otherwise.
import { execFile } from "node:child_process";
import { mkdtempSync, rmSync, statSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { promisify } from "node:util";
import { checks, commandLine, keepScreenshot, launch, watchedPage } from "./browser.mjs";

const [geocom, sampleStore, screenshot] =
    commandLine("report.test.mjs", "GEOCOM", "SAMPLE_STORE", "SCREENSHOT.png");
const run = promisify(execFile);
const { check, exit } = checks();

const work = mkdtempSync(join(tmpdir(), "report-test-"));
const job = join(work, "slope.json");
writeFileSync(job, JSON.stringify({
  limits: [
    { targets: "*", component: "horizontal", warning: "10 mm", alarm: "20 mm",
      consecutive: 3 },
    { targets: ["P5"], component: "height", warning: "6 mm", consecutive: 3 },
  ],
}));
const store = join(work, "slope.db");
await run(sampleStore, [store, job, "10", "720", "3600"]);
const report = join(work, "report.html");
await run(geocom, ["monitor", "report", store, "--html", report, "--job", job,
                   "--title", "Slope above the quarry road"]);
check(statSync(report).size > 10000, "geocom monitor report writes the file");

const chromium = await launch("report");
try {
  const { page, consoleErrors, requests } =
      await watchedPage(chromium.browser, 1100, 1400);
  await page.goto(`file://${report}`, { waitUntil: "load" });

  const shown = await page.evaluate(() => ({
    title: document.querySelector("h1").textContent,
    rows: document.querySelectorAll("#last-values tr").length - 1,
    series: document.querySelectorAll("svg.series").length,
    arrows: document.querySelectorAll("#plan line[marker-end]").length,
    events: document.querySelectorAll("#events tr").length - 1,
    levels: [...document.querySelectorAll("#last-values td.level")].map((cell) => cell.textContent),
    planWidth: document.getElementById("plan").getBoundingClientRect().width,
    seriesWidth: document.querySelector("svg.series").getBoundingClientRect().width,
  }));
  check(shown.title === "Slope above the quarry road", "the title is the one asked for");
  check(shown.rows === 10, `a row of last values per target (${shown.rows})`);
  check(shown.series === 10, `a time series per target (${shown.series})`);
  check(shown.arrows === 10, `an arrow per target on the plan (${shown.arrows})`);
  check(shown.events > 0 && shown.levels.includes("alarm"),
        `the creeping targets raised events (${shown.events}; ${shown.levels.join(" ")})`);
  check(shown.planWidth >= 600 && shown.seriesWidth >= 940,
        `the plan and the series are drawn at their size (${shown.planWidth}, ${shown.seriesWidth})`);
  check(requests.length === 1, `nothing but the file is fetched (${requests.length} requests)`);
  check(consoleErrors.length === 0, `no console error (${consoleErrors.join("; ")})`);

  await keepScreenshot(page, screenshot);
  check(true, `screenshot kept in ${screenshot}`);
} finally {
  await chromium.close();
  rmSync(work, { recursive: true, force: true });
}
exit();
