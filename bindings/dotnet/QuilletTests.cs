// The assembly's tests: every known answer through the exports and the
// hashers (whole, in pieces, copied half-way, reused), .NET's own SHA1 and
// MD5 at every length 0..300, and bad input. Reads the known answers from
// QUILLET_KNOWN_ANSWERS; exits 1 on any failure.
using System;
using System.Collections.Generic;
using System.IO;
using System.Security.Cryptography;
using System.Text;
using Quillet;

static class QuilletTests
{
    static int failures, checks;

    static void Check(bool ok, string what)
    {
        checks++;
        if (ok) return;
        failures++;
        Console.WriteLine("FAIL  " + what);
    }

    static string Hex(byte[] b)
    {
        return BitConverter.ToString(b).Replace("-", "").ToLowerInvariant();
    }

    // A MESSAGE field at the start of s ("text" with \xNN, \\ and \"
    // escapes, "text"*COUNT, bytes(0..255)); `rest` is what follows it.
    static byte[] Message(string s, out string rest)
    {
        if (s.StartsWith("bytes(0..255)"))
        {
            byte[] all = new byte[256];
            for (int i = 0; i < 256; i++) all[i] = (byte)i;
            rest = s.Substring("bytes(0..255)".Length);
            return all;
        }
        if (!s.StartsWith("\"")) throw new FormatException("a message: " + s);
        var m = new List<byte>();
        int at = 1;
        for (; s[at] != '"'; at++)
        {
            if (s[at] != '\\') { m.Add((byte)s[at]); continue; }
            at++;
            if (s[at] == 'x') { m.Add(Convert.ToByte(s.Substring(at + 1, 2), 16)); at += 2; }
            else m.Add((byte)s[at]);
        }
        rest = s.Substring(at + 1);
        int count = 1;
        if (rest.StartsWith("*"))
        {
            string n = rest.Substring(1).Split(' ')[0];
            count = int.Parse(n);
            rest = rest.Substring(1 + n.Length);
        }
        byte[] once = m.ToArray(), message = new byte[once.Length * count];
        for (int i = 0; i < count; i++) Buffer.BlockCopy(once, 0, message, i * once.Length, once.Length);
        return message;
    }

    static Hasher HasherOf(string digest)
    {
        switch (digest)
        {
            case "StandardSHA": return new Sha1();
            case "BrokenSHA": return new BrokenSha();
            case "LockdownSHA": return new LockdownSha();
            default: return new Md5();
        }
    }

    static string Export(string digest, byte[] m, int first, int second)
    {
        switch (digest)
        {
            case "StandardSHA": return Hex(Exports.StandardSha(m));
            case "BrokenSHA": return Hex(Exports.BrokenSha(m));
            case "LockdownSHA": return Hex(Exports.LockdownSha(m));
            case "MD5": return Exports.Md5(m);
            default: return Hex(Exports.DoubleHashPassword(m, first, second));
        }
    }

    // The hasher's digest of m fed in pieces cut at `cuts`, a copy taken at
    // each cut and finished too; then the hasher is used again on all of m.
    static void Streamed(string line, string digest, byte[] m, string expected)
    {
        Func<byte[], string> text = d => digest == "MD5" ? Hex(d).ToUpperInvariant() : Hex(d);
        using (Hasher h = HasherOf(digest))
        {
            Check(text(h.ComputeHash(m)) == expected, line + ": ComputeHash");
            var cuts = new SortedSet<int> { 0, 1, 3, 55, 56, 63, 64, 65, 127, 128, m.Length / 2,
                                            m.Length - 1, m.Length };
            cuts.RemoveWhere(c => c < 0 || c > m.Length);
            int done = 0;
            var copies = new Dictionary<int, Hasher>();
            foreach (int cut in cuts)
            {
                h.TransformBlock(m, done, cut - done, null, 0);
                done = cut;
                copies.Add(cut, h.Copy());
            }
            h.TransformFinalBlock(m, done, 0);
            Check(text(h.Hash) == expected, line + ": in pieces at " + string.Join(",", cuts));
            foreach (var c in copies)
            {
                c.Value.TransformFinalBlock(m, c.Key, m.Length - c.Key);
                Check(text(c.Value.Hash) == expected, line + ": a copy taken at " + c.Key);
                c.Value.Dispose();
            }
            h.TransformBlock(new byte[] { 1, 2, 3 }, 0, 3, null, 0);
            h.Initialize();
            h.TransformFinalBlock(m, 0, m.Length);
            Check(text(h.Hash) == expected, line + ": after Initialize");
        }
    }

    static void KnownAnswers(string path)
    {
        int lines = 0;
        foreach (string raw in File.ReadAllLines(path))
        {
            string line = raw.Trim();
            if (line.Length == 0 || line.StartsWith("#")) continue;
            lines++;
            string digest = line.Substring(0, line.IndexOf(' ')), rest;
            byte[] m = Message(line.Substring(digest.Length + 1), out rest);
            string[] fields = rest.Trim().Split(' ');
            string expected = fields[fields.Length - 1];
            int first = 0, second = 0;
            if (digest == "DoubleHashPassword")
            {
                first = unchecked((int)Convert.ToUInt32(fields[0], 16));
                second = unchecked((int)Convert.ToUInt32(fields[1], 16));
            }
            string shown = line.Length > 60 ? line.Substring(0, 60) + "..." : line;
            Check(Export(digest, m, first, second) == expected, shown + ": the export");
            if (digest != "DoubleHashPassword") Streamed(shown, digest, m, expected);
        }
        Check(lines > 40, "known answers read: " + lines);
    }

    // .NET's own SHA1 and MD5 agree with the exports and the hashers, and an
    // offset and count pick out the same bytes, at every length 0..300.
    static void AgainstFramework()
    {
        byte[] data = new byte[310];
        for (int i = 0; i < data.Length; i++) data[i] = (byte)(i * 131 + 7);
        using (SHA1 sha1 = SHA1.Create())
        using (MD5 md5 = MD5.Create())
        using (Hasher ours = new Sha1(), ourMd5 = new Md5())
        {
            for (int n = 0; n <= 300; n++)
            {
                string sha = Hex(sha1.ComputeHash(data, 5, n)), md = Hex(md5.ComputeHash(data, 5, n));
                Check(Hex(Exports.StandardSha(data, 5, n)) == sha, "StandardSha at " + n);
                Check(Exports.Md5(data, 5, n) == md.ToUpperInvariant(), "Md5 text at " + n);
                Check(Hex(ours.ComputeHash(data, 5, n)) == sha, "Sha1 at " + n);
                Check(Hex(ourMd5.ComputeHash(data, 5, n)) == md, "Md5 at " + n);
            }
        }
    }

    static void Throws<E>(string what, Action action) where E : Exception
    {
        try
        {
            action();
            Check(false, what + ": no " + typeof(E).Name);
        }
        catch (Exception e)
        {
            Check(e.GetType() == typeof(E), what + ": " + e.GetType().Name + " instead of " +
                  typeof(E).Name + " (" + e.Message + ")");
        }
    }

    static void BadInput()
    {
        Hasher closed = new Sha1();
        closed.TransformBlock(new byte[] { 1 }, 0, 1, null, 0);
        closed.Dispose();
        byte[] three = new byte[3];
        var nulls = new Dictionary<string, Action> {
            { "StandardSha(null)", () => Exports.StandardSha(null) },
            { "BrokenSha(null)", () => Exports.BrokenSha(null) },
            { "LockdownSha(null, 0, 0)", () => Exports.LockdownSha(null, 0, 0) },
            { "Md5(null)", () => Exports.Md5(null) },
            { "DoubleHashPassword(null)", () => Exports.DoubleHashPassword(null, 1, 2) },
            { "ComputeHash(null)", () => new Md5().ComputeHash((byte[])null) },
            { "TransformBlock(null)", () => new Sha1().TransformBlock(null, 0, 0, null, 0) },
            { "Create(null)", () => Hasher.Create(null) },
        };
        foreach (var c in nulls) Throws<ArgumentNullException>(c.Key, c.Value);
        var disposed = new Dictionary<string, Action> {
            { "ComputeHash", () => closed.ComputeHash(three) },
            { "TransformBlock", () => closed.TransformBlock(three, 0, 3, null, 0) },
            { "TransformFinalBlock", () => closed.TransformFinalBlock(three, 0, 3) },
            { "Initialize", () => closed.Initialize() },
            { "Copy", () => closed.Copy() },
        };
        foreach (var c in disposed) Throws<ObjectDisposedException>("disposed " + c.Key, c.Value);
        // Sizes past the array, and counts whose end overflows an int.
        var ranges = new Dictionary<string, Action> {
            { "StandardSha count past the end", () => Exports.StandardSha(three, 1, 3) },
            { "BrokenSha huge count", () => Exports.BrokenSha(three, 2, int.MaxValue) },
            { "LockdownSha negative offset", () => Exports.LockdownSha(three, -1, 1) },
            { "Md5 offset past the end", () => Exports.Md5(three, 4, 0) },
            { "Md5 negative count", () => Exports.Md5(three, 0, -1) },
        };
        foreach (var c in ranges) Throws<ArgumentOutOfRangeException>(c.Key, c.Value);
        using (Hasher h = new LockdownSha())
        {
            // The base class's own checks, then the hasher still works.
            Throws<ArgumentException>("TransformBlock huge count",
                                      () => h.TransformBlock(three, 1, int.MaxValue, null, 0));
            Throws<ArgumentException>("TransformBlock negative count",
                                                () => h.TransformBlock(three, 0, -1, null, 0));
            Check(Hex(h.ComputeHash(Encoding.ASCII.GetBytes("abc"))) ==
                  "50c8e95373d4856f7567b73c2df9da981062e20a", "LockdownSha after refused input");
        }
        try
        {
            Hasher.Create("sha256");
            Check(false, "Create(\"sha256\"): no exception");
        }
        catch (QuilletException e)
        {
            Check(e.Status == 2 && e.Message == "quillet: unknown algorithm",
                  "Create(\"sha256\"): " + e.Status + " " + e.Message);
        }
    }

    static void Names()
    {
        var names = new Dictionary<string, Type> {
            { "sha1", typeof(Sha1) }, { "BROKEN_SHA", typeof(BrokenSha) },
            { "Lockdown_Sha", typeof(LockdownSha) }, { "md5", typeof(Md5) },
        };
        foreach (var n in names)
            using (Hasher h = Hasher.Create(n.Key))
                Check(h.GetType() == n.Value && h.HashSize == (n.Value == typeof(Md5) ? 128 : 160),
                      "Create(" + n.Key + "): " + h.GetType().Name + ", " + h.HashSize + " bits");
        Check(Hasher.LibraryVersion.Length > 0, "LibraryVersion");
    }

    // Hashers left to the finaliser release their handles without harm.
    static void Forgotten()
    {
        for (int i = 0; i < 1000; i++) new Md5().TransformBlock(new byte[100], 0, 100, null, 0);
        GC.Collect();
        GC.WaitForPendingFinalizers();
        Check(true, "forgotten hashers");
    }

    static int Main()
    {
        string answers = Environment.GetEnvironmentVariable("QUILLET_KNOWN_ANSWERS");
        if (string.IsNullOrEmpty(answers))
        {
            Console.WriteLine("QUILLET_KNOWN_ANSWERS is not set");
            return 1;
        }
        KnownAnswers(answers);
        AgainstFramework();
        BadInput();
        Names();
        Forgotten();
        Console.WriteLine("{0} checks, {1} failed", checks, failures);
        return failures == 0 ? 0 : 1;
    }
}
