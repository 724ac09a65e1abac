-- Who may change the templates of a template store on a PostgreSQL server, enforced by the server itself.
--
-- Run by an administrator (a superuser of the server) on the store's database, once and again after a newer
-- program added tables:
--
--   psql -X -v ON_ERROR_STOP=1 -h HOST -U postgres -d zrk_templates -f scripts/pg-roles.sql
--
-- It makes four roles that nobody logs in as, in one transaction (nothing changes when any step fails):
--
--   zrk_owner     owns the store's tables, the database and its schema; no station logs in as it
--   zrk_operator  opens templates and reads their images and history, writes its own drafts and draft steps;
--                 never saves, creates, copies, renames or deletes a model, nor changes images or the
--                 system parameters
--   zrk_engineer  what every station could do before: saves, creates, copies and deletes models, writes
--                 images and the system parameters, appends revisions; its own drafts only
--   zrk_admin     everything, including the rights of the tables' owner (the administrators' program)
--
-- and gives each station's login one of them afterwards, e.g.
--
--   CREATE ROLE press3 LOGIN PASSWORD '...' IN ROLE zrk_operator;
--   GRANT zrk_engineer TO zrk_station;       -- the login that made the store goes on as before
--
-- A store the program made (its tables owned by the login that owns the database) is taken over: the tables,
-- the database and its schema go to zrk_owner, so that the station's login can no longer change or drop them.
-- An empty database gets the store's tables (schema version 3, as the program makes them). A database of
-- other tables, or a store of an older schema version, is refused: open it once with the current program
-- first, as the login that owns it now.
--
-- Drafts belong to the login that wrote them: a column `login`, set by a trigger on every write, and
-- row-level security that lets operators and engineers touch only their own rows (and the rows written before
-- the store had roles, which become theirs when they write them). Revisions are only appended: an engineer
-- may insert the next revision of a model (its number one more than the newest, linked to the newest's hash,
-- under its own role name, at the server's time) and never update one; a model's revisions are deleted only
-- together with the model itself. Only zrk_admin changes or removes revisions otherwise.

SET client_min_messages = warning;
BEGIN;

-- Stations opening the database at this moment wait until the tables are whole (the program's schema lock).
SELECT pg_advisory_xact_lock(1515342676);

DO $roles$
BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'zrk_owner') THEN
        CREATE ROLE zrk_owner NOLOGIN;
    END IF;
    -- The tables' owner is nobody's login, whatever it was made as.
    ALTER ROLE zrk_owner NOLOGIN NOSUPERUSER;
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'zrk_operator') THEN
        CREATE ROLE zrk_operator NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'zrk_engineer') THEN
        CREATE ROLE zrk_engineer NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'zrk_admin') THEN
        CREATE ROLE zrk_admin NOLOGIN;
    END IF;
END
$roles$;
GRANT zrk_owner TO zrk_admin;

-- The store's tables: made in an empty database, completed in a store of the current schema.
DO $tables$
DECLARE
    version TEXT;
BEGIN
    IF to_regclass('zrk_store') IS NULL THEN
        IF EXISTS (SELECT 1 FROM pg_tables WHERE schemaname = current_schema()) THEN
            RAISE EXCEPTION 'the database % holds other tables: it is not a template store', current_database();
        END IF;
        CREATE TABLE zrk_store(key TEXT PRIMARY KEY, value TEXT NOT NULL);
        CREATE TABLE system_para(key TEXT PRIMARY KEY, value TEXT NOT NULL);
        CREATE TABLE model(
            id       INTEGER PRIMARY KEY CHECK (id >= 1),
            name     TEXT NOT NULL,
            title    TEXT NOT NULL,
            revision BIGINT NOT NULL DEFAULT 0,
            saved_at TIMESTAMPTZ,
            saved_by TEXT);
        CREATE TABLE model_data(
            model_id INTEGER PRIMARY KEY REFERENCES model(id) ON DELETE CASCADE,
            crc32    BIGINT NOT NULL,
            data     BYTEA NOT NULL);
        ALTER TABLE model_data ALTER COLUMN data SET STORAGE EXTERNAL;
        CREATE TABLE model_draft(
            model_id      INTEGER NOT NULL CHECK (model_id >= 1),
            base_exists   BOOLEAN NOT NULL,
            base_revision BIGINT NOT NULL,
            base_crc32    BIGINT NOT NULL,
            crc32         BIGINT NOT NULL,
            data          BYTEA NOT NULL,
            written_at    TIMESTAMPTZ,
            station       TEXT NOT NULL,
            PRIMARY KEY (model_id, station));
        ALTER TABLE model_draft ALTER COLUMN data SET STORAGE EXTERNAL;
        INSERT INTO zrk_store(key, value) VALUES ('application_id', '1515342676'), ('schema_version', '3');
    END IF;
    SELECT value INTO version FROM zrk_store WHERE key = 'schema_version';
    IF NOT EXISTS (SELECT 1 FROM zrk_store WHERE key = 'application_id' AND value = '1515342676') THEN
        RAISE EXCEPTION 'the database % is not a template store', current_database();
    END IF;
    IF version IS DISTINCT FROM '3' THEN
        RAISE EXCEPTION 'the template store in % is of schema version %, not 3: open it once with the current '
                        'program, as the login that owns it now, before giving it roles', current_database(), version;
    END IF;
    -- The tables the program adds where they are missing, as it makes them.
    CREATE TABLE IF NOT EXISTS model_draft_step(
        model_id INTEGER NOT NULL, station TEXT NOT NULL, seq BIGINT NOT NULL, crc32 BIGINT NOT NULL,
        data BYTEA NOT NULL, PRIMARY KEY (model_id, station, seq));
    CREATE TABLE IF NOT EXISTS store_image(hash TEXT PRIMARY KEY, bytes BYTEA NOT NULL, size BIGINT NOT NULL);
    CREATE TABLE IF NOT EXISTS model_image(
        model_id INTEGER NOT NULL, path TEXT NOT NULL, hash TEXT NOT NULL, PRIMARY KEY (model_id, path));
    CREATE INDEX IF NOT EXISTS model_image_hash ON model_image(hash);
    IF to_regclass('model_revision') IS NULL THEN
        CREATE TABLE model_revision(
            model_id INTEGER NOT NULL, rev BIGINT NOT NULL, saved_at TEXT NOT NULL, station TEXT NOT NULL,
            os_user TEXT NOT NULL, db_role TEXT NOT NULL, summary TEXT NOT NULL, full_copy BOOLEAN NOT NULL,
            size BIGINT NOT NULL, data_hash TEXT NOT NULL, prev_hash TEXT NOT NULL, hash TEXT NOT NULL,
            body BYTEA NOT NULL, PRIMARY KEY (model_id, rev));
        ALTER TABLE model_revision ALTER COLUMN body SET STORAGE EXTERNAL;
    END IF;
    -- Where a model that zrk-store imported or copied came from.
    CREATE TABLE IF NOT EXISTS model_origin(
        model_id INTEGER PRIMARY KEY, source TEXT NOT NULL, source_model INTEGER NOT NULL,
        source_head TEXT NOT NULL, head_rev BIGINT NOT NULL, target_head TEXT NOT NULL, added_at TEXT NOT NULL,
        how TEXT NOT NULL);
    CREATE INDEX IF NOT EXISTS model_origin_source ON model_origin(source_model, source_head);
END
$tables$;

-- Ownership: the tables, the database and the schema they live in. The owner of a schema may drop what lies
-- in it, and the owner of the database owns the schema `public` (pg_database_owner): a station's login keeps
-- neither.
DO $owner$
DECLARE
    t TEXT;
BEGIN
    FOREACH t IN ARRAY ARRAY['zrk_store', 'system_para', 'model', 'model_data', 'model_draft', 'model_draft_step',
                             'store_image', 'model_image', 'model_revision', 'model_origin'] LOOP
        EXECUTE format('ALTER TABLE %I OWNER TO zrk_owner', t);
        EXECUTE format('REVOKE ALL ON TABLE %I FROM PUBLIC', t);
    END LOOP;
    EXECUTE format('ALTER DATABASE %I OWNER TO zrk_owner', current_database());
    EXECUTE format('ALTER SCHEMA %I OWNER TO zrk_owner', current_schema());
    EXECUTE format('REVOKE CREATE ON SCHEMA %I FROM PUBLIC', current_schema());
    EXECUTE format('GRANT USAGE ON SCHEMA %I TO zrk_operator, zrk_engineer, zrk_admin', current_schema());
END
$owner$;

-- What each role may do with each table.
GRANT SELECT ON zrk_store, system_para, model, model_data, store_image, model_image, model_revision,
    model_origin TO zrk_operator, zrk_engineer;
GRANT SELECT, INSERT, UPDATE, DELETE ON model_draft, model_draft_step TO zrk_operator, zrk_engineer;
GRANT INSERT, UPDATE, DELETE ON system_para, model, model_data, model_image TO zrk_engineer;
GRANT INSERT, DELETE ON store_image TO zrk_engineer;
GRANT INSERT, DELETE ON model_revision TO zrk_engineer;
-- A model's origin goes with the model when an engineer deletes it; only zrk-store records one.
GRANT DELETE ON model_origin TO zrk_engineer;
GRANT ALL ON zrk_store, system_para, model, model_data, model_draft, model_draft_step, store_image, model_image,
    model_revision, model_origin TO zrk_admin;

-- ---- drafts: each login's own ----
ALTER TABLE model_draft ADD COLUMN IF NOT EXISTS login TEXT;
ALTER TABLE model_draft_step ADD COLUMN IF NOT EXISTS login TEXT;

-- Every row written is the writer's: a login cannot write a draft in another's name.
CREATE OR REPLACE FUNCTION zrk_draft_login() RETURNS trigger LANGUAGE plpgsql AS $fn$
BEGIN
    NEW.login := current_user;
    RETURN NEW;
END
$fn$;
ALTER FUNCTION zrk_draft_login() OWNER TO zrk_owner;
DROP TRIGGER IF EXISTS zrk_draft_login ON model_draft;
CREATE TRIGGER zrk_draft_login BEFORE INSERT OR UPDATE ON model_draft
    FOR EACH ROW EXECUTE FUNCTION zrk_draft_login();
DROP TRIGGER IF EXISTS zrk_draft_login ON model_draft_step;
CREATE TRIGGER zrk_draft_login BEFORE INSERT OR UPDATE ON model_draft_step
    FOR EACH ROW EXECUTE FUNCTION zrk_draft_login();

ALTER TABLE model_draft ENABLE ROW LEVEL SECURITY;
ALTER TABLE model_draft_step ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS zrk_own_drafts ON model_draft;
CREATE POLICY zrk_own_drafts ON model_draft FOR ALL TO zrk_operator, zrk_engineer
    USING (login IS NULL OR login = current_user::text) WITH CHECK (login = current_user::text);
DROP POLICY IF EXISTS zrk_all_drafts ON model_draft;
CREATE POLICY zrk_all_drafts ON model_draft FOR ALL TO zrk_admin USING (true) WITH CHECK (true);
DROP POLICY IF EXISTS zrk_own_drafts ON model_draft_step;
CREATE POLICY zrk_own_drafts ON model_draft_step FOR ALL TO zrk_operator, zrk_engineer
    USING (login IS NULL OR login = current_user::text) WITH CHECK (login = current_user::text);
DROP POLICY IF EXISTS zrk_all_drafts ON model_draft_step;
CREATE POLICY zrk_all_drafts ON model_draft_step FOR ALL TO zrk_admin USING (true) WITH CHECK (true);

-- ---- revisions: appended only ----
-- The newest revision of a model, read as the tables' owner (a policy may not read its own table).
DO $head$
BEGIN
    EXECUTE format($f$
        CREATE OR REPLACE FUNCTION zrk_revision_head(of_model INTEGER, OUT rev BIGINT, OUT hash TEXT)
        LANGUAGE sql STABLE SECURITY DEFINER SET search_path = %I, pg_temp AS $body$
            SELECT coalesce(max(r.rev), 0),
                   coalesce((SELECT n.hash FROM model_revision n WHERE n.model_id = of_model
                             ORDER BY n.rev DESC LIMIT 1), '')
              FROM model_revision r WHERE r.model_id = of_model
        $body$$f$, current_schema());
END
$head$;
ALTER FUNCTION zrk_revision_head(INTEGER) OWNER TO zrk_owner;
REVOKE ALL ON FUNCTION zrk_revision_head(INTEGER) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION zrk_revision_head(INTEGER) TO zrk_engineer, zrk_admin;

ALTER TABLE model_revision ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS zrk_read_revisions ON model_revision;
CREATE POLICY zrk_read_revisions ON model_revision FOR SELECT TO zrk_operator, zrk_engineer USING (true);
DROP POLICY IF EXISTS zrk_append_revisions ON model_revision;
CREATE POLICY zrk_append_revisions ON model_revision FOR INSERT TO zrk_engineer
    WITH CHECK (rev = (zrk_revision_head(model_id)).rev + 1
                AND prev_hash = (zrk_revision_head(model_id)).hash
                AND db_role = current_user::text
                AND saved_at = to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS'));
DROP POLICY IF EXISTS zrk_revisions_go_with_their_model ON model_revision;
CREATE POLICY zrk_revisions_go_with_their_model ON model_revision FOR DELETE TO zrk_engineer
    USING (NOT EXISTS (SELECT 1 FROM model m WHERE m.id = model_revision.model_id));
DROP POLICY IF EXISTS zrk_all_revisions ON model_revision;
CREATE POLICY zrk_all_revisions ON model_revision FOR ALL TO zrk_admin USING (true) WITH CHECK (true);

COMMIT;
