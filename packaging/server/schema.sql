-- Quillon 97 team database: the records every machine stores, and who may change them.
-- `quillon --init-server --server URI` runs this in one transaction; running it again on a
-- database it made (or an older one) leaves the records and brings the rest up to date.
-- Version 2 added the notifications (records_notify).

-- Readers select; writers store records and change or delete only those they stored; the
-- administrator may change any. Roles belong to the whole server: made once, kept after.
DO $$
BEGIN
    CREATE ROLE quillon_reader NOLOGIN;
EXCEPTION WHEN duplicate_object OR unique_violation THEN NULL;
END $$;
DO $$
BEGIN
    CREATE ROLE quillon_writer NOLOGIN;
EXCEPTION WHEN duplicate_object OR unique_violation THEN NULL;
END $$;
DO $$
BEGIN
    CREATE ROLE quillon_admin NOLOGIN;
EXCEPTION WHEN duplicate_object OR unique_violation THEN NULL;
END $$;

CREATE TABLE IF NOT EXISTS quillon_schema (
    one boolean PRIMARY KEY DEFAULT true CHECK (one),
    version integer NOT NULL
);

-- Versions come from one sequence, so a record deleted and stored again never repeats a
-- version a client may still hold.
CREATE SEQUENCE IF NOT EXISTS record_versions;

-- One row per record. The identifier is unique under ASCII case folding only (translate, not
-- lower(), which follows the server's locale); the folded column, in the C collation, also
-- serves prefix searches. bytes are the record exactly as the file's streams hold it.
CREATE TABLE IF NOT EXISTS records (
    sysid text NOT NULL CHECK (octet_length(sysid) BETWEEN 1 AND 31),
    folded text COLLATE "C" GENERATED ALWAYS AS
        (translate(sysid, 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz')) STORED,
    description text NOT NULL DEFAULT '',
    ord bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    bytes bytea NOT NULL,
    stored_at timestamptz NOT NULL DEFAULT now(),
    stored_by name NOT NULL DEFAULT current_user,
    version bigint NOT NULL DEFAULT nextval('record_versions'),
    CONSTRAINT records_folded_key UNIQUE (folded)
);

-- The server, not the client, says when, by whom and which version: whatever a client sends
-- for them is overwritten. The identifier and the order number never change.
CREATE OR REPLACE FUNCTION records_stamp() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    NEW.stored_at := now();
    NEW.version := nextval('record_versions');
    IF TG_OP = 'INSERT' THEN
        NEW.stored_by := current_user;
    ELSE
        NEW.stored_by := OLD.stored_by;
        NEW.sysid := OLD.sysid;
        NEW.ord := OLD.ord;
    END IF;
    RETURN NEW;
END $$;
DROP TRIGGER IF EXISTS records_stamp ON records;
CREATE TRIGGER records_stamp BEFORE INSERT OR UPDATE ON records
    FOR EACH ROW EXECUTE FUNCTION records_stamp();

-- Every client that listens on quillon_records hears of each stored, changed or deleted row
-- when its transaction commits, whoever made the change (a plain client too): the operation
-- (I, U or D), the version the row has (had, when deleted) and the identifier, last since it
-- may hold spaces. A client coalesces what it hears and reads only the rows named.
CREATE OR REPLACE FUNCTION records_notify() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP = 'DELETE' THEN
        PERFORM pg_notify('quillon_records', 'D ' || OLD.version || ' ' || OLD.sysid);
        RETURN OLD;
    END IF;
    PERFORM pg_notify('quillon_records', left(TG_OP, 1) || ' ' || NEW.version || ' ' || NEW.sysid);
    RETURN NEW;
END $$;
DROP TRIGGER IF EXISTS records_notify ON records;
CREATE TRIGGER records_notify AFTER INSERT OR UPDATE OR DELETE ON records
    FOR EACH ROW EXECUTE FUNCTION records_notify();

ALTER TABLE records ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS records_read ON records;
DROP POLICY IF EXISTS records_store ON records;
DROP POLICY IF EXISTS records_change_own ON records;
DROP POLICY IF EXISTS records_delete_own ON records;
DROP POLICY IF EXISTS records_administer ON records;
CREATE POLICY records_read ON records FOR SELECT
    TO quillon_reader, quillon_writer, quillon_admin USING (true);
CREATE POLICY records_store ON records FOR INSERT
    TO quillon_writer WITH CHECK (stored_by = current_user);
CREATE POLICY records_change_own ON records FOR UPDATE
    TO quillon_writer USING (stored_by = current_user) WITH CHECK (stored_by = current_user);
CREATE POLICY records_delete_own ON records FOR DELETE
    TO quillon_writer USING (stored_by = current_user);
CREATE POLICY records_administer ON records FOR ALL
    TO quillon_admin USING (true) WITH CHECK (true);

REVOKE ALL ON records, quillon_schema, record_versions FROM PUBLIC;
GRANT SELECT ON records, quillon_schema TO quillon_reader, quillon_writer, quillon_admin;
GRANT INSERT (sysid, description, bytes), UPDATE (description, bytes), DELETE ON records
    TO quillon_writer, quillon_admin;
GRANT USAGE ON SEQUENCE record_versions, records_ord_seq TO quillon_writer, quillon_admin;

INSERT INTO quillon_schema (version) VALUES (2)
    ON CONFLICT (one) DO UPDATE SET version = EXCLUDED.version;
