-- Sample database laid beside the program as Samples/sample.mdb. Every table holds rows that repeat
-- on an obvious choice of fields, so that each step of the wizard has something to show.

-- Customers entered twice (or three times) by different people: same first and last name, sometimes
-- with other letter case or a trailing blank, which count as different values.
CREATE TABLE Customers (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    FirstName VARCHAR(50),
    LastName VARCHAR(50),
    Company VARCHAR(80),
    City VARCHAR(50),
    Phone VARCHAR(24),
    Email VARCHAR(100)
);
INSERT INTO Customers (FirstName, LastName, Company, City, Phone, Email) VALUES
    ('Maria', 'Anders', 'Alfreds Futterkiste', 'Berlin', '030-0074321', 'maria.anders@example.de'),
    ('Ana', 'Trujillo', 'Emparedados y helados', 'México D.F.', '(5) 555-4729', 'ana.trujillo@example.mx'),
    ('Antonio', 'Moreno', 'Moreno Taquería', 'México D.F.', '(5) 555-3932', 'antonio@example.mx'),
    ('Thomas', 'Hardy', 'Around the Horn', 'London', '(171) 555-7788', 'thomas.hardy@example.co.uk'),
    ('Christina', 'Berglund', 'Berglunds snabbköp', 'Luleå', '0921-12 34 65', 'christina@example.se'),
    ('Maria', 'Anders', 'Alfreds Futterkiste', 'Berlin', '030-0074321', 'm.anders@example.de'),
    ('Hanna', 'Moos', 'Blauer See Delikatessen', 'Mannheim', '0621-08460', 'hanna.moos@example.de'),
    ('Frédérique', 'Citeaux', 'Blondel père et fils', 'Strasbourg', '88.60.15.31', 'fc@example.fr'),
    ('Martín', 'Sommer', 'Bólido Comidas preparadas', 'Madrid', '(91) 555 22 82', 'martin.sommer@example.es'),
    ('Thomas', 'Hardy', 'Around the Horn', 'London', '(171) 555-7788', 'thomas.hardy@example.co.uk'),
    ('Laurence', 'Lebihan', 'Bon app''', 'Marseille', '91.24.45.40', 'laurence@example.fr'),
    ('Elizabeth', 'Lincoln', 'Bottom-Dollar Markets', 'Tsawassen', '(604) 555-4729', 'elincoln@example.ca'),
    ('MARIA', 'ANDERS', 'Alfreds Futterkiste', 'Berlin', '030-0074321', 'maria.anders@example.de'),
    ('Victoria', 'Ashworth', 'B''s Beverages', 'London', '(171) 555-1212', 'victoria@example.co.uk'),
    ('Patricio', 'Simpson', 'Cactus Comidas para llevar', 'Buenos Aires', '(1) 135-5555', 'psimpson@example.ar'),
    ('Francisco', 'Chang', 'Centro comercial Moctezuma', 'México D.F.', '(5) 555-3392', 'fchang@example.mx'),
    ('Hanna', 'Moos', 'Blauer See Delikatessen', 'Mannheim', '0621-08460', 'hanna.moos@example.de'),
    ('Yang', 'Wang', 'Chop-suey Chinese', 'Bern', '0452-076545', 'yang.wang@example.ch'),
    ('Thomas ', 'Hardy', 'Around the Horn', 'London', '(171) 555-7788', 'thomas.hardy@example.co.uk'),
    ('Pedro', 'Afonso', 'Comércio Mineiro', 'São Paulo', '(11) 555-7647', 'pedro.afonso@example.br'),
    ('Elizabeth', 'Brown', 'Consolidated Holdings', 'London', '(171) 555-2282', 'ebrown@example.co.uk'),
    ('Sven', 'Ottlieb', 'Drachenblut Delikatessen', 'Aachen', '0241-039123', 'sven@example.de'),
    ('Ana', 'Trujillo', 'Emparedados y helados', 'México D.F.', '(5) 555-4729', 'ana.trujillo@example.mx'),
    ('Janine', 'Labrune', 'Du monde entier', 'Nantes', '40.67.88.88', 'janine@example.fr'),
    ('Ann', 'Devon', 'Eastern Connection', 'London', '(171) 555-0297', 'ann.devon@example.co.uk'),
    ('Maria', 'Anders', 'Alfreds Futterkiste', 'Berlin', '030-0076545', 'maria.anders@example.de');

-- Orders, some of them keyed in twice: same customer, date and product.
CREATE TABLE Orders (
    OrderID INTEGER PRIMARY KEY AUTOINCREMENT,
    CustomerID INTEGER,
    OrderDate DATETIME,
    Product VARCHAR(80),
    Quantity SMALLINT,
    UnitPrice CURRENCY
);
INSERT INTO Orders (CustomerID, OrderDate, Product, Quantity, UnitPrice) VALUES
    (1, '2021-07-04', 'Chai', 10, 18.0),
    (2, '2021-07-05', 'Tofu', 5, 23.25),
    (4, '2021-07-05', 'Chang', 12, 19.0),
    (1, '2021-07-04', 'Chai', 10, 18.0),
    (3, '2021-07-08', 'Ikura', 4, 31.0),
    (5, '2021-07-08', 'Konbu', 20, 6.0),
    (7, '2021-07-09', 'Pavlova', 15, 17.45),
    (4, '2021-07-05', 'Chang', 12, 19.0),
    (8, '2021-07-10', 'Tourtière', 6, 7.45),
    (9, '2021-07-11', 'Gorgonzola Telino', 8, 12.5),
    (12, '2021-07-12', 'Chai', 30, 18.0),
    (5, '2021-07-08', 'Konbu', 25, 6.0),
    (14, '2021-07-15', 'Outback Lager', 24, 15.0),
    (15, '2021-07-16', 'Queso Cabrales', 3, 21.0),
    (16, '2021-07-16', 'Tofu', 9, 23.25),
    (18, '2021-07-18', 'Chang', 40, 19.0),
    (7, '2021-07-09', 'Pavlova', 15, 17.45),
    (20, '2021-07-19', 'Guaraná Fantástica', 60, 4.5),
    (22, '2021-07-22', 'Rhönbräu Klosterbier', 12, 7.75),
    (24, '2021-07-23', 'Escargots de Bourgogne', 2, 13.25),
    (25, '2021-07-25', 'Sir Rodney''s Scones', 10, 10.0),
    (1, '2021-07-26', 'Chai', 10, 18.0);

-- A price list without any whole-number column: the wizard adds its own identifier for it.
CREATE TABLE Products (
    ProductCode VARCHAR(12),
    ProductName VARCHAR(80),
    Category VARCHAR(40),
    ListPrice CURRENCY,
    Discontinued BIT
);
INSERT INTO Products (ProductCode, ProductName, Category, ListPrice, Discontinued) VALUES
    ('BEV-001', 'Chai', 'Beverages', 18.0, 0),
    ('BEV-002', 'Chang', 'Beverages', 19.0, 0),
    ('CON-003', 'Aniseed Syrup', 'Condiments', 10.0, 0),
    ('BEV-001', 'Chai', 'Beverages', 18.0, 0),
    ('CON-004', 'Chef Anton''s Cajun Seasoning', 'Condiments', 22.0, 0),
    ('PRO-007', 'Uncle Bob''s Organic Dried Pears', 'Produce', 30.0, 0),
    ('SEA-010', 'Ikura', 'Seafood', 31.0, 0),
    ('DAI-011', 'Queso Cabrales', 'Dairy Products', 21.0, 0),
    ('CON-004', 'Chef Anton''s Cajun Seasoning', 'Condiments', 22.0, 1),
    ('SEA-013', 'Konbu', 'Seafood', 6.0, 0),
    ('PRO-014', 'Tofu', 'Produce', 23.25, 0),
    ('CON-015', 'Genen Shouyu', 'Condiments', 15.5, 0),
    ('CON-015', 'Genen Shouyu', 'Condiments', 15.5, 0),
    ('CON-015', 'Genen Shouyu', 'Condiments', 15.5, 0),
    ('CON-3', 'Aniseed syrup', 'Condiments', 10.0, 0);

-- A mailing list typed in by hand: missing values (Null and empty text count as the same), letter-case
-- variants and stray blanks (which do not).
CREATE TABLE MailingList (
    Email VARCHAR(100),
    FullName VARCHAR(80),
    Town VARCHAR(50),
    Postcode VARCHAR(10),
    SignedUp DATE
);
INSERT INTO MailingList (Email, FullName, Town, Postcode, SignedUp) VALUES
    ('j.smith@example.com', 'John Smith', 'Leeds', 'LS1 4AP', '2020-03-01'),
    ('J.Smith@example.com', 'John Smith', 'Leeds', 'LS1 4AP', '2020-05-17'),
    ('anna.k@example.org', 'Anna Kowalski', NULL, NULL, '2020-03-02'),
    ('anna.k@example.org', 'Anna Kowalski', '', NULL, '2021-01-09'),
    ('b.okafor@example.net', 'Bola Okafor', 'Manchester', 'M1 1AE', NULL),
    ('b.okafor@example.net', 'Bola Okafor ', 'Manchester', 'M1 1AE', NULL),
    (NULL, 'Chen Wei', 'York', 'YO1 7HH', '2020-06-30'),
    (NULL, 'Chen Wei', 'York', 'YO1 7HH', '2020-06-30'),
    ('d.murphy@example.ie', 'Dara Murphy', 'Cork', NULL, '2020-08-12'),
    ('d.murphy@example.ie', 'dara murphy', 'cork', NULL, '2020-08-12'),
    ('e.novak@example.cz', 'Eva Novák', 'Brno', '602 00', '2021-02-14'),
    ('e.novak@example.cz', 'Eva Novák', 'Brno', '602 00', '2021-02-14'),
    ('', 'Frank Miller', NULL, NULL, NULL),
    (NULL, 'Frank Miller', '', '', NULL);

-- A saved query: listed as a view, never offered as a table.
CREATE VIEW CustomerOrders AS
    SELECT c.FirstName, c.LastName, o.OrderDate, o.Product, o.Quantity
    FROM Customers AS c JOIN Orders AS o ON o.CustomerID = c.ID;
