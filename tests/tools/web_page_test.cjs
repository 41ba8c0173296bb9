// The show's web page in Debian's chromium, driven by puppeteer-core, served
// by python3's static file server from a folder of its own:
//   node web_page_test.cjs [--quick] REC_DIR [POSTER_STILL@SECONDS NAME@SECONDS,...]
// With the stills of a recording of the stand-in show (REC_DIR holds them
// beside web/), it checks the page as a visitor meets it: the poster and each
// still's moment drawn cell for cell, no console error or failed request, the
// keys working at once, the show named, the video to download, a phone's
// width, a cast cut short refused; then the music against the picture over
// 20 s of playback beside two busy loops, after the page was held for 2 s and
// after a stall of the music; and the first load on an emulated 10 Mbit/s
// line with 40 ms of delay and unthrottled. --quick stops before the music.
// Without stills it only measures the first load of REC_DIR/web, e.g. of a
// real recording.
// Exits 77 (skipped) when chromium cannot start.
const { execFileSync, spawn } = require("child_process");
const fs = require("fs");
const net = require("net");
const os = require("os");
const path = require("path");
const zlib = require("zlib");
const puppeteer = require(path.join(__dirname, "../../tools/web/node_modules/puppeteer-core"));

const args = process.argv.slice(2);
const quick = args[0] === "--quick" && args.shift();
const [recDir, posterSpec, momentList] = args;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
let failures = 0;
function check(ok, what) {
  console.log(`${ok ? "ok  " : "FAIL"} ${what}`);
  if (!ok) failures++;
}

// Per cell of the top `rows` rows of a picture with `of` rows, run in the
// page: the palette index of its paper (the commonest colour) and of its ink
// (the next, if it covers a twentieth of the cell) or -1; pixels far from
// every VGA colour are left out.
async function cellColours(src, rows, of) {
  const PALETTE = [0x000000, 0xaa0000, 0x00aa00, 0xaa5500, 0x0000aa, 0xaa00aa, 0x00aaaa, 0xaaaaaa,
                   0x555555, 0xff5555, 0x55ff55, 0xffff55, 0x5555ff, 0xff55ff, 0x55ffff, 0xffffff];
  const img = new Image();
  img.src = src;
  await img.decode();
  const c = document.createElement("canvas");
  [c.width, c.height] = [img.width, img.height];
  c.getContext("2d").drawImage(img, 0, 0);
  const d = c.getContext("2d").getImageData(0, 0, img.width, img.height).data;
  const out = [];
  for (let row = 0; row < rows; row++)
    for (let col = 0; col < 80; col++) {
      const hist = new Array(16).fill(0);
      let counted = 0;
      for (let y = Math.ceil((row * img.height) / of); y < ((row + 1) * img.height) / of - 1; y++)
        for (let x = Math.ceil((col * img.width) / 80); x < ((col + 1) * img.width) / 80 - 1; x++) {
          const i = (y * img.width + x) * 4;
          const dist = PALETTE.map((p) => Math.abs(d[i] - (p >> 16)) +
            Math.abs(d[i + 1] - ((p >> 8) & 255)) + Math.abs(d[i + 2] - (p & 255)));
          const best = dist.indexOf(Math.min(...dist));
          if (dist[best] < 48) hist[best]++, counted++;
        }
      const order = hist.map((n, k) => [n, k]).sort((a, z) => z[0] - a[0]);
      out.push([order[0][1], order[1][0] * 20 >= counted ? order[1][1] : -1]);
    }
  return out;
}

async function freePort() {
  return new Promise((resolve) => {
    const s = net.createServer().listen(0, "127.0.0.1", () => {
      const { port } = s.address();
      s.close(() => resolve(port));
    });
  });
}

// Opens the page in a fresh context, noting every console error and failed
// request; the network as given (CDP's conditions) and no cache.
async function openPage(browser, url, viewport, network, onRequest) {
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  if (onRequest) {
    await page.setRequestInterception(true);
    page.on("request", onRequest);
  }
  const problems = [];
  page.on("console", (m) => m.type() === "error" && problems.push("console: " + m.text()));
  page.on("pageerror", (e) => problems.push("page error: " + e.message));
  // The media element reads the music from its object URL in ranges and
  // drops a range it no longer needs when the player seeks: an abort of a
  // blob: read is the browser's own doing, not a failed request.
  page.on("requestfailed", (r) => {
    if (r.url().startsWith("blob:") && r.failure().errorText == "net::ERR_ABORTED") return;
    problems.push(`failed: ${r.url()} ${r.failure().errorText}`);
  });
  page.on("response", (r) => r.status() >= 400 && problems.push(`${r.status()}: ${r.url()}`));
  const cdp = await page.createCDPSession();
  await cdp.send("Network.enable");
  await cdp.send("Network.setCacheDisabled", { cacheDisabled: true });
  if (network)
    await cdp.send("Network.emulateNetworkConditions", { offline: false, ...network });
  // Bytes on the wire so far, of the music or of the rest: whole responses,
  // and what has come of the others.
  const finished = new Map(), partial = new Map(), music = new Set();
  cdp.on("Network.requestWillBeSent", (e) => e.request.url.endsWith("/demo.ogg") && music.add(e.requestId));
  cdp.on("Network.dataReceived", (e) =>
    partial.set(e.requestId, (partial.get(e.requestId) || 0) + e.encodedDataLength));
  cdp.on("Network.responseReceived", (e) =>
    partial.set(e.requestId, (partial.get(e.requestId) || 0) + (e.response.encodedDataLength || 0)));
  cdp.on("Network.loadingFinished", (e) => finished.set(e.requestId, e.encodedDataLength));
  const bytes = (ofMusic) => {
    let n = 0;
    for (const [id, v] of finished) if (music.has(id) == ofMusic) n += v;
    for (const [id, v] of partial) if (!finished.has(id) && music.has(id) == ofMusic) n += v;
    return n;
  };
  await page.setViewport(viewport);
  // When the player's terminal is first on the page, seen frame by frame.
  await page.evaluateOnNewDocument(() => {
    const look = () => document.querySelector(".ap-term") ? (window.termAt = performance.now())
                                                          : requestAnimationFrame(look);
    requestAnimationFrame(look);
  });
  for (let tries = 0; ; tries++) {  // the server may still be starting
    try {
      await page.goto(url, { waitUntil: "domcontentloaded" });
      break;
    } catch (e) {
      if (tries == 20) throw e;
      await sleep(250);
    }
  }
  return { context, page, problems, bytes };
}

// The first load as a visitor meets it: the poster, the bytes that have come
// when the cast is in (playback can start), and the time from a click to the
// player playing.
async function firstLoad(browser, url, network, label) {
  const { context, page, bytes } = await openPage(browser, url, { width: 1100, height: 900 }, network);
  // Moments in the page's time, from the start of the navigation.
  await page.waitForSelector(".ap-term", { timeout: 60000 });
  const poster = await page.evaluate(() => window.termAt);
  const ready = await page.evaluate(() => window.castText.then(() => performance.now()));
  const before = bytes(false);
  // The click's moment as the page takes it, and the player's "playing".
  await page.evaluate(() => {
    document.addEventListener("pointerdown", () => (window.clickAt = performance.now()), { capture: true });
    window.playing = new Promise((resolve) =>
      window.player.addEventListener("playing", () => resolve(performance.now() - window.clickAt)));
  });
  const box = await (await page.$(".ap-term")).boundingBox();
  await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
  const wait = await page.evaluate(() => window.playing);
  await page.waitForFunction(() => window.music.duration > 0, { timeout: 60000 });
  console.log(`first load (${label}): poster after ${poster.toFixed(0)} ms, cast in after ` +
              `${ready.toFixed(0)} ms, ${(before / 1e6).toFixed(2)} MB before the first frame ` +
              `(then the music's ${(bytes(true) / 1e6).toFixed(2)} MB), playing ${wait.toFixed(0)} ms ` +
              "after the click");
  await context.close();
  return { before, wait };
}

// The music's moment less the player's, in seconds, read in one turn of the page.
const drift = (page) =>
  page.evaluate(() => [window.music.currentTime - window.player.getCurrentTime(),
                       window.player.getCurrentTime()]);

// Plays from the start for 20 s, sampling the drift every 0.5 s; the worst
// after the first second, where, how many samples and the page's corrections.
async function playAndSampleDrift(page) {
  await page.evaluate(() => window.player.seek(0).then(() => window.player.play()));
  const seeksBefore = await page.evaluate(() => window.musicSync.seeks);
  let worst = 0, worstAt = 0, samples = 0;
  const started = Date.now();
  while (Date.now() - started < 20000) {
    await sleep(500);
    const [d, t] = await drift(page);
    if (Date.now() - started > 1000 && Math.abs(d) > Math.abs(worst)) [worst, worstAt] = [d, t];
    samples++;
  }
  const seeks = (await page.evaluate(() => window.musicSync.seeks)) - seeksBefore;
  return [worst, worstAt, samples, seeks];
}

async function main() {
  const cast = posterSpec ? fs.readFileSync(path.join(recDir, "demo.cast"), "utf8").split("\n") : [];
  const firstFrame = Number(process.env.CAST_FIRST_FRAME);  // as cast_check reads it
  const events = cast.filter((l) => l.startsWith("[")).map((l) => JSON.parse(l));
  const port = await freePort();
  const server = spawn("python3", ["-m", "http.server", "--bind", "127.0.0.1", String(port)],
                       { cwd: recDir, stdio: "ignore" });
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "web-page-test-"));
  const url = `http://127.0.0.1:${port}/web/`;
  const busy = [];
  let browser;
  try {
    try {
      browser = await puppeteer.launch({
        executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
        headless: true,
        protocolTimeout: 60000,
        args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--autoplay-policy=no-user-gesture-required", "--user-data-dir=" + profile],
      });
    } catch (e) {
      console.log("SKIPPED: chromium cannot start: " + e.message.split("\n")[0]);
      return 77;
    }
    if (!posterSpec) {
      await firstLoad(browser, url, { latency: 40, downloadThroughput: 1.25e6, uploadThroughput: 1.25e6 },
                      "10 Mbit/s, 40 ms");
      await firstLoad(browser, url, null, "unthrottled");
      return 0;
    }

    const { page, problems } = await openPage(browser, url, { width: 1100, height: 900 });
    await page.waitForSelector(".ap-term");
    // The terminal's cells, inside its border: 24 rows, the picture of the
    // show's 24 printed rows without the terminal's 25th.
    const clip = await (await page.$(".ap-term")).evaluate((el) => {
      const r = el.getBoundingClientRect(), s = getComputedStyle(el);
      const [l, t] = [parseFloat(s.borderLeftWidth), parseFloat(s.borderTopWidth)];
      return { x: r.x + l, y: r.y + t, width: r.width - 2 * l, height: r.height - 2 * t };
    });
    // Rows of 1.2 times the font's size, columns of 0.602 times.
    const rows = clip.height / ((clip.width / 80 / 0.602) * 1.2);
    check(Math.abs(rows - 24) < 0.5,
          `the player is ${clip.width.toFixed(0)}x${clip.height.toFixed(0)} px: ${rows.toFixed(2)} rows, no 25th`);
    const sameCells = async (name) => {
      const shot = await page.screenshot({ encoding: "base64", clip });
      const got = await page.evaluate(cellColours, "data:image/png;base64," + shot, 24, 24);
      const want = await page.evaluate(cellColours, `/${name}.png`, 24, 25);
      return got.filter(([paper, ink], k) => paper == want[k][0] && ink == want[k][1]).length;
    };
    // The poster, before anything is played; keys work without a click, and
    // Space does not scroll the page.
    const [posterName, posterAt] = posterSpec.split("@");
    const posterCells = await sameCells(posterName);
    check(posterCells >= 0.95 * 1920, `the poster (${posterAt} s): ${posterCells} of 1920 cells as in the still`);
    await page.evaluate(() => window.castText);
    await page.evaluate(() => document.body.style.minHeight = "3000px");
    await page.keyboard.press("Space");
    await sleep(700);
    const afterSpace = await page.evaluate(() => [window.player.getCurrentTime(), window.scrollY]);
    check(afterSpace[0] > 0.2 && afterSpace[1] == 0,
          `Space plays at once (at ${afterSpace[0].toFixed(2)} s) and the page stays at ${afterSpace[1]} px`);
    await page.mouse.click(5, 850);  // the focus goes to the page's margin
    await page.keyboard.press("Space");
    await sleep(300);
    const paused = await page.evaluate(() => [window.player.getCurrentTime(), window.scrollY]);
    await sleep(300);
    const still = await page.evaluate(() => window.player.getCurrentTime());
    check(still == paused[0] && paused[1] == 0,
          `Space pauses from elsewhere on the page (${paused[0].toFixed(2)} s, scrolled ${paused[1]} px)`);

    for (const [name, at] of momentList.split(",").map((m) => m.split("@"))) {
      await page.evaluate((t) => window.player.seek(t), firstFrame + Number(at));
      await sleep(300);
      const same = await sameCells(name);
      check(same >= 0.95 * 1920, `${name} at ${at} s: ${same} of 1920 cells as in the still`);
    }

    const named = await page.evaluate(async () => ({
      title: document.title,
      heading: document.querySelector("h1").textContent,
      run: document.body.textContent.includes("./run-demo.sh"),
      video: (await fetch(document.querySelector("a[href='demo.mp4']").href, { method: "HEAD" })).status,
    }));
    check(/^TEXT MAYHEM\b/.test(named.title) && named.heading == "TEXT MAYHEM" && named.run &&
            named.video == 200,
          `the page names the show ("${named.title}"), says how to run it and offers the video (${named.video})`);
    check(problems.length == 0, `no console error or failed request on load: ${problems.join("; ") || "none"}`);

    // A phone: the player fits 390 px, nothing runs off the side, the text speaks of tapping.
    const phone = await openPage(browser, url, { width: 390, height: 800, isMobile: true, hasTouch: true });
    await phone.page.waitForSelector(".ap-term");
    const fit = await phone.page.evaluate(() => ({
      page: document.documentElement.scrollWidth,
      player: document.querySelector(".ap-term").getBoundingClientRect().right,
      tap: getComputedStyle(document.querySelector(".how .touch")).display != "none" &&
        getComputedStyle(document.querySelector(".how .pointer")).display == "none",
    }));
    check(fit.page <= 390 && fit.player <= 390 && fit.tap,
          `at 390 px the page is ${fit.page} px wide, the player ends at ${fit.player.toFixed(0)} px, tapping is told`);
    await phone.context.close();

    // A cast cut short on its way is refused with a message, not played.
    const gz = fs.readFileSync(path.join(recDir, "web/demo.cast.gz"));
    const text = zlib.gunzipSync(gz).toString();
    for (const [what, body, why] of [
      ["cut inside its gzip", gz.subarray(0, gz.length >> 1), "demo.cast.gz is damaged or cut off"],
      ["cut inside a line", zlib.gzipSync(text.slice(0, -7)), "the cast is cut off"]]) {
      const cut = await openPage(browser, url, { width: 1100, height: 900 }, null, (r) =>
        r.url().endsWith("/demo.cast.gz") ? r.respond({ status: 200, body }) : r.continue());
      await cut.page.waitForFunction(() => !document.getElementById("message").hidden);
      const [said, shown] = await cut.page.evaluate(() =>
        [document.getElementById("message").textContent, !document.getElementById("show").hidden]);
      check(said == `The show could not be loaded: ${why}` && !shown, `a cast ${what}: "${said}"`);
      await cut.context.close();
    }
    if (quick)
      return failures ? 1 : 0;

    // 20 s of playback beside two busy loops: the music keeps to the picture.
    // A machine loaded by other work besides can stall chromium itself past
    // any page's reach; such a run is played once more before it counts.
    for (let k = 0; k < 2; k++)
      busy.push(spawn("sh", ["-c", "while :; do :; done"], { stdio: "ignore" }));
    for (let run = 1; ; run++) {
      const [worst, worstAt, samples, seeks] = await playAndSampleDrift(page);
      const said = `over 20 s beside two busy loops (${samples} samples, ${seeks} corrections) the music ` +
                   `is at most ${(worst * 1000).toFixed(0)} ms from the picture (at ${worstAt.toFixed(1)} s)`;
      if (Math.abs(worst) < 0.08 || run == 2) {
        check(Math.abs(worst) < 0.08, said + (run > 1 ? ", played a second time" : ""));
        break;
      }
      console.log(`once more: ${said}`);
    }
    busy.splice(0).forEach((p) => p.kill());

    // The page held for 2 s, its scripts and drawing stopped as in a
    // background tab: a second after it goes on, the music is with the picture.
    await page.evaluate(() => window.player.seek(2).then(() => window.player.play()));
    await sleep(1000);
    const cdp = await page.createCDPSession();
    await cdp.send("Debugger.enable");
    await cdp.send("Debugger.pause");
    await sleep(2000);
    await cdp.send("Debugger.resume");
    await sleep(1000);
    const [held, heldAt] = await drift(page);
    check(Math.abs(held) < 0.08,
          `1 s after a 2 s hold the music is ${(held * 1000).toFixed(0)} ms from the picture (at ${heldAt.toFixed(1)} s)`);

    // The music stalls (stopped, and saying it waits): the picture stops
    // with it, and when the music plays again both go on together.
    await page.evaluate(() => {
      window.music.pause();
      window.music.dispatchEvent(new Event("waiting"));
    });
    await sleep(500);
    const stalled = await drift(page);
    await sleep(300);
    const stillStalled = await drift(page);
    await page.evaluate(() => window.music.play());
    await sleep(1000);
    const [resumed, resumedAt] = await drift(page);
    check(stalled[1] == stillStalled[1] && resumedAt > stalled[1] + 0.5 && Math.abs(resumed) < 0.08,
          `a stalled music holds the picture at ${stalled[1].toFixed(2)} s; a second after it plays ` +
          `again the picture is at ${resumedAt.toFixed(2)} s, ${(resumed * 1000).toFixed(0)} ms from it`);

    // The first load, on a slow line and unthrottled.
    const slow = await firstLoad(browser, url,
                                 { latency: 40, downloadThroughput: 1.25e6, uploadThroughput: 1.25e6 },
                                 "10 Mbit/s, 40 ms");
    check(slow.before <= 5e6, `${(slow.before / 1e6).toFixed(2)} MB before the first frame at 10 Mbit/s`);
    const fast = await firstLoad(browser, url, null, "unthrottled");
    check(fast.wait <= 1000, `playing ${fast.wait.toFixed(0)} ms after the click on a local server`);
  } finally {
    busy.forEach((p) => p.kill());
    if (browser) await browser.close();
    server.kill();
    fs.rmSync(profile, { recursive: true, force: true });
  }

  // The stand-in show's tone starts with its frame 20, and so it must in the
  // page's music, within a frame.
  const firstFrameIndex = 3;
  const raw = execFileSync("ffmpeg", ["-v", "error", "-i", path.join(recDir, "web/demo.ogg"),
                                      "-f", "s16le", "-ac", "1", "-ar", "48000", "-"],
                           { maxBuffer: 1 << 28 });
  let loud = 0;
  while (loud + 1 < raw.length && Math.abs(raw.readInt16LE(loud)) < 3000) loud += 2;
  const toneAt = loud / 2 / 48000, frame20 = events[firstFrameIndex + 20][0];
  check(Math.abs(toneAt - frame20) <= 0.04,
        `the tone starts at ${toneAt.toFixed(3)} s, frame 20 at ${frame20.toFixed(3)} s`);
  return failures ? 1 : 0;
}

main().then((status) => process.exit(status), (e) => {
  console.log("FAIL " + e.stack);
  process.exit(1);
});
