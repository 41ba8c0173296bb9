// The show's web page in Debian's chromium, driven by puppeteer-core: the page
// of a recording (REC_DIR/web, beside the recorder's stills) is served by
// python3's static file server, sought to each still's moment and
// photographed, and each photograph's cells must have the still's colours;
// then it plays 10 s and the music must keep to the picture.
//   node web_page_test.cjs REC_DIR NAME@SECONDS,...
// Exits 77 (skipped) when chromium cannot start.
const { execFileSync, spawn } = require("child_process");
const fs = require("fs");
const net = require("net");
const os = require("os");
const path = require("path");
const puppeteer = require(path.join(__dirname, "../../tools/web/node_modules/puppeteer-core"));

const [recDir, momentList] = process.argv.slice(2);
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
let failures = 0;
function check(ok, what) {
  console.log(`${ok ? "ok  " : "FAIL"} ${what}`);
  if (!ok) failures++;
}

// The cast's events; the first frame is the first that is not the reset, the
// cursor hiding or the blank reserved lines.
const events = fs
  .readFileSync(path.join(recDir, "web/demo.cast"), "utf8")
  .split("\n")
  .filter((l) => l.startsWith("["))
  .map((l) => JSON.parse(l));
const firstFrame = events.findIndex(
  ([, , d]) => d !== "\x1bc" && d !== "\x1b[?25l" && !/^( |\r\n)*$/.test(d),
);

// Per cell of an 80x25 picture, run in the page: the palette index of its
// paper (the commonest colour) and of its ink (the next, if it covers a
// twentieth of the cell) or -1; pixels far from every VGA colour are left out.
async function cellColours(src) {
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
  for (let row = 0; row < 25; row++)
    for (let col = 0; col < 80; col++) {
      const hist = new Array(16).fill(0);
      let counted = 0;
      for (let y = Math.ceil((row * img.height) / 25); y < ((row + 1) * img.height) / 25 - 1; y++)
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

async function main() {
  const port = await new Promise((resolve) => {
    const s = net.createServer().listen(0, "127.0.0.1", () => {
      const { port } = s.address();
      s.close(() => resolve(port));
    });
  });
  const server = spawn("python3", ["-m", "http.server", "--bind", "127.0.0.1", String(port)],
                       { cwd: recDir, stdio: "ignore" });
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "web-page-test-"));
  let browser;
  try {
    try {
      browser = await puppeteer.launch({
        executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
        headless: true,
        args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--autoplay-policy=no-user-gesture-required", "--user-data-dir=" + profile],
      });
    } catch (e) {
      console.log("SKIPPED: chromium cannot start: " + e.message.split("\n")[0]);
      return 77;
    }
    const page = await browser.newPage();
    page.on("pageerror", (e) => console.log("page error: " + e.message));
    // The player makes its audio element out of the page; keep hold of it.
    await page.evaluateOnNewDocument(() => {
      const Plain = window.Audio;
      window.audios = [];
      window.Audio = function (...a) {
        window.audios.push(new Plain(...a));
        return window.audios[window.audios.length - 1];
      };
    });
    await page.setViewport({ width: 1100, height: 900 });
    for (let tries = 0; ; tries++) {  // the server may still be starting
      try {
        await page.goto(`http://127.0.0.1:${port}/web/`, { waitUntil: "load" });
        break;
      } catch (e) {
        if (tries == 20) throw e;
        await sleep(250);
      }
    }
    await page.waitForFunction(() => window.player && window.player.getDuration() > 0);

    // The terminal's cells, inside its border.
    const clip = await (await page.$(".ap-term")).evaluate((el) => {
      const r = el.getBoundingClientRect(), s = getComputedStyle(el);
      const [l, t] = [parseFloat(s.borderLeftWidth), parseFloat(s.borderTopWidth)];
      return { x: r.x + l, y: r.y + t, width: r.width - 2 * l, height: r.height - 2 * t };
    });
    for (const [name, at] of momentList.split(",").map((m) => m.split("@"))) {
      await page.evaluate((t) => window.player.seek(t), events[firstFrame][0] + Number(at));
      await sleep(300);
      const shot = await page.screenshot({ encoding: "base64", clip });
      const got = await page.evaluate(cellColours, "data:image/png;base64," + shot);
      const want = await page.evaluate(cellColours, `/${name}.png`);
      const same = got.filter(([paper, ink], k) => paper == want[k][0] && ink == want[k][1]).length;
      check(same >= 0.95 * 2000, `${name} at ${at} s: ${same} of 2000 cells as in the still`);
    }

    // Ten seconds of playback from the start: the music plays on, at the
    // player's position.
    await page.evaluate(() => window.player.seek(0).then(() => window.player.play()));
    await sleep(10000);
    const [player, audio, playing] = await page.evaluate(() => {
      const a = window.audios[window.audios.length - 1];
      return [window.player.getCurrentTime(), a ? a.currentTime : -1, a ? !a.paused : false];
    });
    check(playing && audio > 9 && Math.abs(audio - player) <= 0.1,
          `after 10 s the music is at ${audio.toFixed(3)} s, the player at ${player.toFixed(3)} s`);
  } finally {
    if (browser) await browser.close();
    server.kill();
    fs.rmSync(profile, { recursive: true, force: true });
  }

  // The stand-in show's tone starts with its frame 20, and so it must in the
  // page's music, within a frame.
  const raw = execFileSync("ffmpeg", ["-v", "error", "-i", path.join(recDir, "web/demo.ogg"),
                                      "-f", "s16le", "-ac", "1", "-ar", "48000", "-"],
                           { maxBuffer: 1 << 28 });
  let loud = 0;
  while (loud + 1 < raw.length && Math.abs(raw.readInt16LE(loud)) < 3000) loud += 2;
  const toneAt = loud / 2 / 48000, frame20 = events[firstFrame + 20][0];
  check(Math.abs(toneAt - frame20) <= 0.04,
        `the tone starts at ${toneAt.toFixed(3)} s, frame 20 at ${frame20.toFixed(3)} s`);
  return failures ? 1 : 0;
}

main().then((status) => process.exit(status), (e) => {
  console.log("FAIL " + e.stack);
  process.exit(1);
});
