/* The branch of the user's guide: the shop (tools/guide-db.sql) with a product whose code
   becomes the same as another's, 71234567 and 81234567 both 102345. */
INSERT INTO PRODUTOS VALUES ('81234567', 'Bermuda de brim', 89.90);
COMMIT;
